#pragma once
// Files for the command-line tests: a scratch directory per test, whole-file
// reads and writes, and WAV files built byte by byte.

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwick::clitest {

using Bytes = std::vector<std::uint8_t>;

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);

// A canonical 44-byte PCM header followed by `data`.
Bytes CanonicalWav(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate, const Bytes& data);

// What a reversal of `file` must produce: its first 44 bytes, then everything
// after them taken as frames of `frame_bytes` in reverse order. The length
// after the header must be a whole number of frames.
Bytes ExpectedReversal(const Bytes& file, std::size_t frame_bytes);

// `count` bytes of a fixed pseudo-random pattern, different for each seed.
Bytes PatternBytes(std::size_t count, std::uint32_t seed);

}  // namespace tarnwick::clitest
