# Linux armhf (ARMv7, hard float) with Debian's cross toolchain and multiarch
# libraries (scripts/install-deps.sh armhf); test programs run under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(TARNWICK_CROSS_TRIPLET arm-linux-gnueabihf)
set(TARNWICK_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)

# GCC notes that the passing of some arguments changed in GCC 7.1; everything
# here is built by one compiler, so the note only clutters the build log.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
