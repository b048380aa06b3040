# Linux armhf (ARMv7, hard float) with Debian's cross toolchain and multiarch
# libraries (scripts/install-deps.sh armhf). Test programs run under qemu-arm
# user-mode emulation; qemu-arm finds the armhf libraries in the multiarch
# directories by itself (no -L: that would load the cross toolchain's loader
# against the multiarch C library).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

# The armhf libraries live beside the native ones, in the multiarch
# directories of the root file system.
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)

find_program(TARNWICK_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARNWICK_QEMU_ARM})

# GCC notes that the passing of some arguments changed in GCC 7.1; everything
# here is built by one compiler, so the note only clutters the build log.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
