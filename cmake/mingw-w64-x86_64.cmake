# Windows x86-64 program, cross-compiled with MinGW-w64 (Debian g++-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DPIDRM_TESTS=OFF
# The tests use POSIX calls and run on Linux only. Linked statically: pidrm.exe needs no DLL
# of the compiler's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PIDRM_CROSS_PREFIX x86_64-w64-mingw32)

set(CMAKE_CXX_COMPILER ${PIDRM_CROSS_PREFIX}-g++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

set(CMAKE_FIND_ROOT_PATH /usr/${PIDRM_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
