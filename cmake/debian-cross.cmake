# Cross build for a Debian architecture with Debian's cross compiler
# (crossbuild-essential-*). The target's libraries and their symbols files
# come from the root that scripts/install-deps.sh unpacks for it; qemu runs
# the target's programs with that root. Set ZD_TRIPLET, ZD_DEBIAN_ARCH and
# ZD_QEMU before including this file.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${ZD_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ZD_TRIPLET}-g++)
set(ZD_CROSS_ROOT /opt/zendrill-cross/${ZD_TRIPLET} CACHE PATH "Debian's ${ZD_DEBIAN_ARCH} libraries, unpacked")
if(NOT EXISTS ${ZD_CROSS_ROOT}/packages)
  message(FATAL_ERROR "${ZD_CROSS_ROOT} is missing: scripts/install-deps.sh unpacks it")
endif()
set(CMAKE_FIND_ROOT_PATH ${ZD_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The libraries' own dependencies (libssl3 for libmosquitto1, ...) are in
# the root too; the linker looks there without writing the path anywhere.
set(CMAKE_EXE_LINKER_FLAGS_INIT
  "-Wl,-rpath-link,${ZD_CROSS_ROOT}/lib/${ZD_TRIPLET}:${ZD_CROSS_ROOT}/usr/lib/${ZD_TRIPLET}")
# pkg-config reads the target's .pc files, with their paths in the root.
set(ENV{PKG_CONFIG_LIBDIR} ${ZD_CROSS_ROOT}/usr/lib/${ZD_TRIPLET}/pkgconfig:${ZD_CROSS_ROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${ZD_CROSS_ROOT})
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZD_QEMU} -L ${ZD_CROSS_ROOT})
