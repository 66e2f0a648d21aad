#!/usr/bin/env bash
# Builds the toolchain for the arm64 (Windows on ARM) Quiblet.dll, from
# Debian's packages and Debian's own source packages only:
#   - clang-14, lld-14 and llvm-14 (installed by install-deps.sh) compile,
#     link and make import libraries for aarch64-w64-mingw32;
#   - the mingw-w64 headers of mingw-w64-common serve every architecture;
#   - the C runtime start-up code and the import libraries come from the
#     mingw-w64 source package; the compiler's helper routines (__chkstk and
#     the like, from compiler-rt) and the C++ library for the test programs
#     (libc++, libc++abi, libunwind) from the llvm-toolchain-14 one;
#   - small compiler wrappers hold the target, the sysroot, the linker and
#     the runtime flags, so no build setting can drop them.
# Nothing is written outside the toolchain folder and a temporary work
# folder: the source packages are fetched with a private source list.
#
#   scripts/build-arm64-toolchain.sh          builds it when it is missing
#   scripts/build-arm64-toolchain.sh --where  prints the folder it uses
# The toolchain folder is $QUIBLET_ARM64_TOOLCHAIN, or a folder of the
# machine's cache outside every checkout (~/.cache/quiblet/arm64-<key>),
# keyed by this script and the versions it builds from: every clone on the
# machine shares it, and a change to the recipe builds a new one. It takes
# about 7 minutes on 2 cores, more on a busy machine.
set -euo pipefail
triplet=aarch64-w64-mingw32

scripts_dir=$(cd "$(dirname "$0")" && pwd)
say() { echo "build-arm64-toolchain: $*"; }
installed_source_version() { dpkg-query -W -f='${source:Version}' "$1"; }
# The source packages are those of the installed binary packages, so the
# runtime matches the headers and the compiler.
mingw_version=$(installed_source_version mingw-w64-common)
llvm_version=$(installed_source_version clang-14)
recipe="recipe 1; mingw-w64 $mingw_version; llvm-toolchain-14 $llvm_version"
key=$( { echo "$recipe"; cat "$0"; } | sha256sum | cut -c1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quiblet
dest=$(realpath -m "${QUIBLET_ARM64_TOOLCHAIN:-$cache/arm64-$key}")
if [ "${1:-}" = --where ]; then
    echo "$dest"
    exit 0
fi
for tool in clang-14 ld.lld-14 llvm-ar-14 llvm-ranlib-14 llvm-dlltool-14 llvm-windres-14 dpkg-source cmake ninja; do
    command -v "$tool" >/dev/null || { say "$tool is missing; run scripts/install-deps.sh" >&2; exit 1; }
done

if [ -f "$dest/.complete" ] && [ "$(cat "$dest/.complete")" = "$recipe" ]; then
    say "the arm64 toolchain is in $dest"
    exit 0
fi
say "building the arm64 toolchain into $dest (about 7 minutes on 2 cores, once)"

# Everything is built in a work folder beside the destination and moved in
# place at the end, so a toolchain that is there is complete.
work=$dest.work
stage=$dest.new
rm -rf "$work" "$stage"
mkdir -p "$work" "$stage"
log=$work/log

# Runs one step with its output in the log; on failure shows the end of the
# log (the tool's own message) and stops.
step() {
    local what=$1
    shift
    if ! "$@" >"$log" 2>&1; then
        tail -n 40 "$log" >&2
        say "$what failed (work folder kept: $work)" >&2
        exit 1
    fi
}

# --- source packages, through a private source list ----------------------
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/parts" "$apt_dir/cache/archives/partial" "$work/src"
cat >"$apt_dir/sources.list" <<EOF
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian bookworm-updates main
deb-src http://deb.debian.org/debian-security bookworm-security main
EOF
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
             -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
step "reading the source package list" "$scripts_dir/apt-get-retry" "${apt_options[@]}" update
(cd "$work/src" &&
 step "fetching the source packages" "$scripts_dir/apt-get-retry" "${apt_options[@]}" source --download-only \
     "mingw-w64=$mingw_version" "llvm-toolchain-14=$llvm_version")
step "unpacking mingw-w64" dpkg-source -x "$work/src"/mingw-w64_*.dsc "$work/src/mingw"
# Of the LLVM sources, only the compiler's helper routines and the C++
# library (with the build files it needs) are unpacked, without their tests.
llvm_tar=$(ls "$work/src"/llvm-toolchain-14_*.orig.tar.xz)
llvm_top=$(basename "$llvm_tar" .orig.tar.xz)
mkdir -p "$work/src/llvm"
step "unpacking the LLVM runtime sources" tar -xJf "$llvm_tar" -C "$work/src/llvm" --strip-components=1 \
    --exclude="$llvm_top/libcxx/test" --exclude="$llvm_top/libcxx/benchmarks" \
    --exclude="$llvm_top/libcxxabi/test" --exclude="$llvm_top/libunwind/test" \
    "$llvm_top/compiler-rt/lib/builtins" "$llvm_top/libcxx" "$llvm_top/libcxxabi" "$llvm_top/libunwind" \
    "$llvm_top/runtimes" "$llvm_top/cmake" "$llvm_top/llvm/cmake" "$llvm_top/llvm/utils/llvm-lit"

# --- the sysroot and the compiler wrappers -------------------------------
mkdir -p "$stage/bin" "$stage/$triplet/lib" "$stage/lib/clang/lib/windows"
ln -s /usr/share/mingw-w64/include "$stage/$triplet/include"
# The private resource folder: clang's own headers, our helper routines.
ln -s "$(clang-14 -print-resource-dir)/include" "$stage/lib/clang/include"

# write_wrapper NAME DRIVER "FLAGS" "LINK FLAGS": a compiler command for
# aarch64-w64-mingw32 with this folder's sysroot and runtime. The link flags
# go to links only (clang warns of unused arguments otherwise), and a
# compilation takes __DATE__ and __TIME__ from SOURCE_DATE_EPOCH when it is
# set, as GCC does (clang 14 does not), so builds are reproducible.
write_wrapper() {
    cat >"$stage/bin/$1" <<EOF
#!/bin/sh
# $2 for Windows on ARM ($triplet), made by build-arm64-toolchain.sh.
here=\$(cd "\$(dirname "\$0")/.." && pwd)
compile_only=no
for arg; do
    case \$arg in -c|-S|-E) compile_only=yes ;; esac
done
if [ \$compile_only = no ]; then
    set -- $4 "\$@"
elif [ -n "\${SOURCE_DATE_EPOCH:-}" ]; then
    set -- -Wno-builtin-macro-redefined \\
        "-D__DATE__=\\"\$(LC_ALL=C date -u -d "@\$SOURCE_DATE_EPOCH" '+%b %e %Y')\\"" \\
        "-D__TIME__=\\"\$(LC_ALL=C date -u -d "@\$SOURCE_DATE_EPOCH" '+%H:%M:%S')\\"" "\$@"
fi
exec $2 --target=$triplet --sysroot="\$here" -resource-dir="\$here/lib/clang" $3 "\$@"
EOF
    chmod +x "$stage/bin/$1"
}
# Until the C++ library is built, C++ links use none.
write_wrapper "$triplet-clang" clang-14 "" "-fuse-ld=lld -rtlib=compiler-rt -unwindlib=none"
write_wrapper "$triplet-clang++" clang++-14 "" "-fuse-ld=lld -rtlib=compiler-rt -unwindlib=none -nostdlib++"
# The resource compiler preprocesses with the C compiler above (and so its
# headers); llvm-windres puts the preprocessor's own arguments after the
# file, too late for -xc, hence a preprocessor command of its own.
cat >"$stage/bin/$triplet-cpp" <<EOF
#!/bin/sh
# C preprocessor for resource scripts, made by build-arm64-toolchain.sh.
exec "\$(dirname "\$0")/$triplet-clang" -E -xc -DRC_INVOKED "\$@"
EOF
cat >"$stage/bin/$triplet-windres" <<EOF
#!/bin/sh
# Resource compiler for Windows on ARM, made by build-arm64-toolchain.sh.
exec llvm-windres-14 --target=$triplet --preprocessor="\$(dirname "\$0")/$triplet-cpp" "\$@"
EOF
chmod +x "$stage/bin/$triplet-cpp" "$stage/bin/$triplet-windres"
cc=$stage/bin/$triplet-clang

# --- compiler-rt builtins ------------------------------------------------
# The generic routines and the aarch64 ones compiler-rt's own build lists
# for MinGW, read from its CMakeLists.txt so the set follows the sources.
builtins=$work/src/llvm/compiler-rt/lib/builtins
list_of() {
    sed -n "/^set($1\$/,/^)/p" "$builtins/CMakeLists.txt" | grep -o '^ *[a-z0-9_/]*\.[cS]$' | tr -d ' '
}
sources=$( { list_of GENERIC_SOURCES; list_of GENERIC_TF_SOURCES
             echo emutls.c enable_execute_stack.c eprintf.c clear_cache.c cpu_model.c
             echo aarch64/fp_mode.c aarch64/chkstk.S; } | tr ' ' '\n' | grep -vx fp_mode.c)
[ "$(echo "$sources" | wc -l)" -gt 100 ] || { say "could not read compiler-rt's source list" >&2; exit 1; }
mkdir -p "$work/builtins"
compile_builtins() {
    echo "$sources" | (cd "$builtins" &&
        xargs -P 2 -n 1 sh -c 'exec "$0" -O2 -std=c11 -fno-builtin -fomit-frame-pointer -c "$2" -o "$1/$(echo "$2" | tr / _).o"' \
            "$cc" "$work/builtins")
}
step "compiling compiler-rt's builtins" compile_builtins
step "archiving compiler-rt's builtins" llvm-ar-14 rcs "$stage/lib/clang/lib/windows/libclang_rt.builtins-aarch64.a" "$work/builtins"/*.o

# --- the mingw-w64 C runtime and import libraries ------------------------
# -O2 without -g: the default -g would put debug data in every DLL.
mkdir -p "$work/crt"
(cd "$work/crt" &&
 step "configuring the mingw-w64 runtime" "$work/src/mingw/mingw-w64-crt/configure" \
     --host=$triplet --prefix="$stage/$triplet" \
     --disable-lib32 --disable-lib64 --disable-libarm32 --enable-libarm64 \
     --with-default-msvcrt=msvcrt \
     CC="$cc" AR=llvm-ar-14 RANLIB=llvm-ranlib-14 DLLTOOL=llvm-dlltool-14 CFLAGS=-O2 &&
 step "building the mingw-w64 runtime" make -j 2 &&
 step "installing the mingw-w64 runtime" make install)

# --- the C++ library for the test programs ------------------------------
# libc++ with libc++abi and libunwind, static. The DLL uses no C++ library.
step "configuring libc++" cmake -G Ninja -S "$work/src/llvm/runtimes" -B "$work/cxx" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$stage" \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=ARM64 \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$stage/bin/$triplet-clang++" \
    -DCMAKE_C_COMPILER_WORKS=ON -DCMAKE_CXX_COMPILER_WORKS=ON \
    -DCMAKE_C_COMPILER_TARGET=$triplet -DCMAKE_CXX_COMPILER_TARGET=$triplet \
    -DCMAKE_ASM_COMPILER_TARGET=$triplet -DLLVM_DEFAULT_TARGET_TRIPLE=$triplet \
    -DCMAKE_AR=/usr/bin/llvm-ar-14 -DCMAKE_RANLIB=/usr/bin/llvm-ranlib-14 \
    -DLLVM_ENABLE_RUNTIMES="libunwind;libcxxabi;libcxx" \
    -DLIBUNWIND_USE_COMPILER_RT=ON -DLIBUNWIND_ENABLE_SHARED=OFF -DLIBUNWIND_INCLUDE_TESTS=OFF \
    -DLIBCXXABI_USE_COMPILER_RT=ON -DLIBCXXABI_USE_LLVM_UNWINDER=ON -DLIBCXXABI_ENABLE_SHARED=OFF \
    -DLIBCXXABI_INCLUDE_TESTS=OFF -DLIBCXXABI_LIBDIR_SUFFIX="" \
    -DLIBCXX_USE_COMPILER_RT=ON -DLIBCXX_ENABLE_SHARED=OFF -DLIBCXX_ENABLE_STATIC_ABI_LIBRARY=ON \
    -DLIBCXX_CXX_ABI=libcxxabi -DLIBCXX_ENABLE_ABI_LINKER_SCRIPT=OFF -DLIBCXX_LIBDIR_SUFFIX="" \
    -DLIBCXX_INCLUDE_TESTS=OFF -DLIBCXX_INCLUDE_BENCHMARKS=OFF
step "building libc++" ninja -C "$work/cxx" -j 2
step "installing libc++" ninja -C "$work/cxx" install
write_wrapper "$triplet-clang++" clang++-14 "-stdlib=libc++" "-fuse-ld=lld -rtlib=compiler-rt -unwindlib=libunwind"

echo "$recipe" >"$stage/.complete"
rm -rf "$dest"
mv "$stage" "$dest"
rm -rf "$work"
say "done: $dest"
