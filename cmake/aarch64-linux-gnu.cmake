# Cross build for 64-bit Raspberry Pi OS and other arm64 Debian systems.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZD_TRIPLET aarch64-linux-gnu)
set(ZD_DEBIAN_ARCH arm64)
set(ZD_QEMU /usr/bin/qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
