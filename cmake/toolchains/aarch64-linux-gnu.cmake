# Cross build for aarch64 Linux with Debian's cross compiler (g++-aarch64-linux-gnu); the test
# programs run under qemu-user (qemu-aarch64 from the qemu-user package) with the cross C library
# of /usr/aarch64-linux-gnu. ctest starts every test through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ORLIX_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${ORLIX_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ORLIX_CROSS_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${ORLIX_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# QEMU_CPU (e.g. "max", or a model without the optional instructions) picks the emulated CPU.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64;-L;/usr/${ORLIX_CROSS_TRIPLE})
