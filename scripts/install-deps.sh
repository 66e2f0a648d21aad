#!/usr/bin/env bash
# Installs what building and testing Quiblet needs on Debian, and only what
# is missing: the mingw-w64 cross compilers, Wine (64- and 32-bit), Xvfb,
# GoogleTest's sources, CMake, Ninja, zip and Python; clang, lld and LLVM
# for the arm64 build, whose toolchain scripts/build-arm64-toolchain.sh then
# builds once. Safe to run again.
set -euo pipefail

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
          wine wine64 wine32:i386 xvfb xauth googletest cmake ninja-build zip unzip python3
          clang-14 lld-14 llvm-14 dpkg-dev xz-utils)

here=$(cd "$(dirname "$0")" && pwd)
sudo=""
if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture (for 32-bit Wine)"
    $sudo dpkg --add-architecture i386
    need_update=1
fi

# Where the kernel cannot run 32-bit programs: the emulator for 32-bit Wine.
"$here/install-emulator.sh"

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} = 0 ]; then
    echo "install-deps: everything is installed"
else
    echo "install-deps: installing ${missing[*]}"
    $sudo "$here/apt-get-retry" -q update
    if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"; then
        # A mirror whose lists are out of step (seen: the security suite's
        # 32-bit list failing its check while its 64-bit one passed) leaves
        # the 32-bit libraries without the versions of their 64-bit twins:
        # once more from the release and its updates alone, then as asked.
        echo "install-deps: installing once more without the security suite's packages"
        prefs=$(mktemp)
        printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: -1\n' >"$prefs"
        chmod 644 "$prefs"
        apt_install() { $sudo env DEBIAN_FRONTEND=noninteractive "$here/apt-get-retry" "$@" install -y -q "${missing[@]}"; }
        apt_install -o Dir::Etc::Preferences="$prefs" || apt_install
        rm -f "$prefs"
    fi
fi

"$here/build-arm64-toolchain.sh"
