# Compilers and tools for one mingw-w64 triplet (set by the including file).
# The posix thread model gives the tests std::thread; everything is linked
# statically, so no mingw runtime DLL is ever needed.
set(CMAKE_C_COMPILER ${QUIBLET_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUIBLET_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUIBLET_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${QUIBLET_TRIPLET}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${QUIBLET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
