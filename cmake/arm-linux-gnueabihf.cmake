# Cross build for 32-bit Raspberry Pi OS and other armhf Debian systems.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(ZD_TRIPLET arm-linux-gnueabihf)
set(ZD_DEBIAN_ARCH armhf)
set(ZD_QEMU /usr/bin/qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
