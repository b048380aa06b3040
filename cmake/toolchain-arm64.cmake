# Linux arm64 (AArch64) with Debian's cross toolchain and multiarch libraries
# (scripts/install-deps.sh arm64); test programs run under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TARNWICK_CROSS_TRIPLET aarch64-linux-gnu)
set(TARNWICK_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
