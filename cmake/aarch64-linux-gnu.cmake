# Linux program for 64-bit ARM, cross-compiled with Debian g++-aarch64-linux-gnu and linked
# statically, so that qemu-aarch64 (Debian qemu-user) runs it without an ARM root file system:
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DPIDRM_TESTS=OFF
# It compiles for the default armv8-a; -DCMAKE_CXX_FLAGS=-mcpu=neoverse-v1, say, for a newer one.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(PIDRM_CROSS_PREFIX aarch64-linux-gnu)

set(CMAKE_CXX_COMPILER ${PIDRM_CROSS_PREFIX}-g++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

set(CMAKE_FIND_ROOT_PATH /usr/${PIDRM_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
