# Windows on ARM (arm64) build with Debian's clang-14 and lld-14, through
# the compiler wrappers of the toolchain that scripts/build-arm64-toolchain.sh
# makes: $QUIBLET_ARM64_TOOLCHAIN, or the machine's cached one that the
# script names (--where). The folder is remembered in the build folder's cache.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(QUIBLET_TRIPLET aarch64-w64-mingw32)

if(NOT QUIBLET_ARM64_TOOLCHAIN)
    if(DEFINED ENV{QUIBLET_ARM64_TOOLCHAIN})
        set(folder $ENV{QUIBLET_ARM64_TOOLCHAIN})
    else()
        execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/build-arm64-toolchain.sh --where
                        OUTPUT_VARIABLE folder OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    set(QUIBLET_ARM64_TOOLCHAIN ${folder} CACHE PATH "The arm64 toolchain (scripts/build-arm64-toolchain.sh)")
endif()
if(NOT EXISTS ${QUIBLET_ARM64_TOOLCHAIN}/.complete)
    message(FATAL_ERROR "No arm64 toolchain in ${QUIBLET_ARM64_TOOLCHAIN}: run scripts/install-deps.sh "
                        "(or scripts/build-arm64-toolchain.sh)")
endif()
# CMake's own compiler checks see the same folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUIBLET_ARM64_TOOLCHAIN)

set(CMAKE_C_COMPILER ${QUIBLET_ARM64_TOOLCHAIN}/bin/${QUIBLET_TRIPLET}-clang)
set(CMAKE_CXX_COMPILER ${QUIBLET_ARM64_TOOLCHAIN}/bin/${QUIBLET_TRIPLET}-clang++)
set(CMAKE_RC_COMPILER ${QUIBLET_ARM64_TOOLCHAIN}/bin/${QUIBLET_TRIPLET}-windres)
set(CMAKE_AR /usr/bin/llvm-ar-14)
set(CMAKE_RANLIB /usr/bin/llvm-ranlib-14)
# llvm-objdump reads arm64 DLLs (the mingw-w64 binutils do not).
set(CMAKE_OBJDUMP /usr/bin/llvm-objdump-14)
set(CMAKE_FIND_ROOT_PATH ${QUIBLET_ARM64_TOOLCHAIN}/${QUIBLET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
