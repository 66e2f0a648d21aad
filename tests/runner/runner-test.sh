#!/usr/bin/env bash
# The test runner (cmake/wine-run) ends a test program that printed its
# result and then stalled, and takes that result; a program that ends by
# itself keeps its exit status and output.
#   runner-test.sh SOURCE_ROOT PREFIX stalls_after_result.exe
set -uo pipefail
root=$1 prefix=$2 program=$3
limit=3
export QUIBLET_HANG_SECONDS=$limit
log=$(mktemp)
export QUIBLET_HANG_LOG=$log
trap 'rm -f "$log"' EXIT
failed=0

# case: arguments, expected exit status, expected words in wine-run's
# messages ("" for none), whether the run may take longer than the program
# itself (it stalled).
check() {
    local name=$1 filter=$2 end=$3 want_status=$4 want_said=$5
    local started status said took
    started=$(date +%s)
    said=$("$root/cmake/wine-run" "$prefix" "$program" --gtest_filter="$filter" $end 2>&1 >/dev/null)
    status=$?
    took=$(($(date +%s) - started))
    if [ $status != "$want_status" ]; then
        echo "$name: exit status $status, expected $want_status ($said)"
        failed=1
    elif [ -n "$want_said" ] && [[ $said != *"$want_said"* ]]; then
        echo "$name: wine-run said '$said', expected '$want_said'"
        failed=1
    elif [ -z "$want_said" ] && [ -n "$said" ]; then
        echo "$name: wine-run said '$said', expected nothing"
        failed=1
    elif [ $took -gt $((limit + 30)) ]; then
        echo "$name: took $took s, more than the stall limit ($limit s) and a start"
        failed=1
    else
        echo "$name: exit status $status in $took s"
    fi
}

check "passing result, then stalls" 'Stall.Passes' '' 0 "passed but did not end"
check "failing result, then stalls" 'Stall.Fails' '' 1 "failed but did not end"
check "passing result, ends" 'Stall.Passes' --end 0 ""
check "failing result, ends" 'Stall.Fails' --end 1 ""
# A program that ends leaving a process that holds its output (as the Wine
# server and services that a prefix's first program starts do): the run
# ends with the program. Were the output ctest's pipe, ctest would read it
# until that process ended.
started=$(date +%s)
said=$("$root/cmake/wine-run" "$prefix" "$program" --gtest_filter=Stall.Passes --leave-child 2>&1)
status=$?
took=$(($(date +%s) - started))
if [ $status != 0 ] || [ $took -gt $((limit + 30)) ]; then
    echo "leaves a process holding its output: exit status $status in $took s (the run waited for it)"
    failed=1
else
    echo "leaves a process holding its output: exit status $status in $took s"
fi
# The stalls are noted for scripts/test.sh's list.
[ "$(grep -c 'did not end' "$log")" = 2 ] || { echo "the hang log holds: $(cat "$log")"; failed=1; }
exit $failed
