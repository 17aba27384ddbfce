# Cross build for 32-bit Raspberry Pi OS and other armhf Debian systems.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(ZD_TRIPLET arm-linux-gnueabihf)
set(ZD_DEBIAN_ARCH armhf)
set(ZD_QEMU /usr/bin/qemu-arm-static)
# GCC notes wherever 64-bit values are passed as they were not before GCC 7.1;
# that matters only beside objects built by such old compilers, never here.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
