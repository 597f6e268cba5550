# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix: the
# POSIX thread model, which std::thread and std::mutex need); the test programs run under
# Wine (wine64), which ctest starts through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORLIX_CROSS_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORLIX_CROSS_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORLIX_CROSS_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORLIX_CROSS_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORLIX_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
