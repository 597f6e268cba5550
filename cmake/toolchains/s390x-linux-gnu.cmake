# Cross build for s390x Linux with Debian's cross compiler (g++-s390x-linux-gnu); the test
# programs run under qemu-user (qemu-s390x from the qemu-user package) with the cross C library
# of /usr/s390x-linux-gnu. ctest starts every test through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(ORLIX_CROSS_TRIPLE s390x-linux-gnu)
set(CMAKE_C_COMPILER ${ORLIX_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ORLIX_CROSS_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${ORLIX_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# QEMU_CPU (e.g. "max", or a model without the optional instructions) picks the emulated CPU.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x;-L;/usr/${ORLIX_CROSS_TRIPLE})
