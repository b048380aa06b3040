# What both Linux cross builds share: Debian's cross toolchain for
# TARNWICK_CROSS_TRIPLET, the target's libraries beside the native ones in the
# multiarch directories of the root file system, and test programs run under
# the user-mode emulator TARNWICK_CROSS_QEMU. The emulator finds the target's
# libraries in the multiarch directories by itself (no -L: that would load the
# cross toolchain's loader against the multiarch C library).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_LIBRARY_ARCHITECTURE ${TARNWICK_CROSS_TRIPLET})

set(CMAKE_C_COMPILER ${TARNWICK_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TARNWICK_CROSS_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${TARNWICK_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${TARNWICK_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)

find_program(TARNWICK_QEMU_${CMAKE_SYSTEM_PROCESSOR} ${TARNWICK_CROSS_QEMU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TARNWICK_QEMU_${CMAKE_SYSTEM_PROCESSOR}})
