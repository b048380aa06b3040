// One reverse-copy kernel on one buffer, for kernel_instructions.sh, which
// counts the instructions it takes under qemu: a vector kernel's gain where
// the emulator's time says nothing about a real CPU's.
// Usage: kernel_instructions LEVEL FRAME_BYTES BYTES ROUNDS

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "reverse_kernels.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s LEVEL FRAME_BYTES BYTES ROUNDS\n", argv[0]);
    return 64;
  }
  const auto level = static_cast<tarnwick::KernelLevel>(std::atoi(argv[1]));
  const auto frame_bytes = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
  const std::size_t bytes = std::strtoul(argv[3], nullptr, 10);
  const long rounds = std::atol(argv[4]);
  std::vector<std::uint8_t> src(bytes), dst(bytes);
  for (std::size_t i = 0; i < bytes; ++i) src[i] = static_cast<std::uint8_t>(i * 7);
  tarnwick::LimitKernelLevel(level);
  for (long r = 0; r < rounds; ++r)
    tarnwick::ReverseCopyFrames(dst.data(), src.data(), bytes / frame_bytes, frame_bytes);
  return dst[0] == src[bytes - frame_bytes] ? 0 : 1;
}
