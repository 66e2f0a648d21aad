#!/usr/bin/env bash
# Where this machine's kernel cannot run 32-bit programs, installs the
# emulator that runs Debian's 32-bit Wine loader instead: qemu-i386 from
# qemu-user 10.x (Debian's bookworm-backports suite; bookworm's own 7.2
# hangs in wineboot). Where 32-bit programs run natively nothing changes.
#   install-emulator.sh            only where 32-bit programs cannot run
#   install-emulator.sh --always   also where they can (CI runs a smoke part
#                                  of the x86 tests through the emulator)
# Never fails the set-up: without the emulator the x86 tests are reported
# as not run.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi
say() { echo "install-emulator: $*"; }

# The major version of the installed qemu-i386, or 0.
installed_major() {
    local version
    version=$(qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
    echo "${version:-0}"
}
# qemu-user 8 is the first without the wineboot hang; Debian's backports
# have 10.x.
minimum_major=8

if [ "${1:-}" != --always ] && cmake/can-run-x86; then
    exit 0
fi
if [ "$(installed_major)" -ge $minimum_major ]; then
    exit 0
fi

if cmake/can-run-x86; then
    say "installing qemu-user (for the x86 tests' emulated smoke run)"
else
    say "this machine cannot run 32-bit programs: installing qemu-user to run 32-bit Wine under emulation"
fi

# The release's own qemu-user when it is new enough (Debian 13 and later),
# otherwise the release's backports, added as a source of its own. Backports
# are never chosen unless asked for, so nothing else is upgraded from them.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
candidate_major() {
    apt-cache policy qemu-user 2>/dev/null | sed -n 's/^ *Candidate: \([0-9]*:\)\{0,1\}\([0-9]*\).*/\2/p'
}
from=()
if [ "$(candidate_major)" = "" ] || [ "$(candidate_major)" -lt $minimum_major ]; then
    list=/etc/apt/sources.list.d/$codename-backports.sources
    if ! grep -rqs "$codename-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf '%s\n' "Types: deb" "URIs: http://deb.debian.org/debian" "Suites: $codename-backports" \
            "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
            $sudo tee "$list" >/dev/null
    fi
    from=(-t "$codename-backports")
fi
if ! $sudo scripts/apt-get-retry -q update >/dev/null ||
   ! $sudo env DEBIAN_FRONTEND=noninteractive scripts/apt-get-retry install -y -q --no-install-recommends "${from[@]}" qemu-user >/dev/null ||
   [ "$(installed_major)" -lt $minimum_major ]; then
    echo "install-emulator: *** could not install qemu-user $minimum_major or later (from ${from[1]:-$codename});" \
         "32-bit programs cannot run here, so the x86 tests will be reported NOT RUN ***" >&2
    exit 0
fi
say "$(qemu-i386 --version | head -n 1)"
