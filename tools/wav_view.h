#pragma once
// The tool's own reading of a WAV file's first 44 bytes: the fields `show`
// needs, and whether the file has the plain layout the library assumes (a
// 16-byte "fmt " chunk and then "data", so that samples start at byte 44).

#include <cstdint>
#include <cstdio>
#include <string>

namespace tarnwick::cli {

inline constexpr std::uint32_t kHeaderBytes = 44;

enum class HeaderRead : std::uint8_t {
  kOk,
  kUnreadable,  // a read error
  kNotWave,     // shorter than 44 bytes, or bytes 8..11 are not "WAVE"
};

struct WavView {
  std::uint8_t bytes[kHeaderBytes] = {};

  std::uint16_t FormatTag() const { return U16(20); }
  std::uint16_t Channels() const { return U16(22); }
  std::uint32_t SampleRate() const { return U32(24); }
  std::uint16_t BitsPerSample() const { return U16(34); }
  std::uint32_t DataChunkBytes() const { return U32(40); }
  // Channels x bits / 8, as the library computes it; 0 when that is nonsense.
  std::uint32_t FrameBytes() const;

  // Empty when the layout is the plain one; otherwise what differs, as a
  // phrase such as: byte 36 holds "LIST", not "data".
  std::string LayoutProblem() const;

  std::uint16_t U16(std::uint32_t offset) const;
  std::uint32_t U32(std::uint32_t offset) const;
};

// Reads the first 44 bytes from the current position of `file`.
HeaderRead ReadWavView(std::FILE* file, WavView* view);

}  // namespace tarnwick::cli
