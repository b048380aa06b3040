#include "cli_files.h"

#include <algorithm>

namespace tarnwick::clitest {

Bytes ExpectedReversal(const Bytes& file, std::size_t frame_bytes) {
  Bytes expected(file.begin(), file.begin() + 44);
  for (std::size_t end = file.size(); end >= 44 + frame_bytes; end -= frame_bytes) {
    expected.insert(expected.end(), file.begin() + static_cast<std::ptrdiff_t>(end - frame_bytes),
                    file.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return expected;
}

Bytes PatternBytes(std::size_t count, std::uint32_t seed) {
  Bytes bytes(count);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

}  // namespace tarnwick::clitest
