#pragma once
// The sound level of a recording while the library writes it. The library
// appends one-second blocks and brings the header's data size up to date
// after each, so the header says how many whole blocks can be read; only the
// newest is, into a buffer of one block whatever the recording's length.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tarnwick::cli {

// Peak and RMS of a stretch of samples, as fractions of full scale.
struct SoundLevel {
  double peak = 0.0;
  double rms = 0.0;
};

class RecordingTail {
 public:
  // The recording's format: 8000 Hz, 16-bit, mono, one second per block.
  static constexpr std::uint32_t kBlockBytes = 16000;

  // Opens `path` for reading; a file that cannot be opened gives no levels.
  explicit RecordingTail(const std::string& path);
  ~RecordingTail();
  RecordingTail(const RecordingTail&) = delete;
  RecordingTail& operator=(const RecordingTail&) = delete;

  // True when a block has landed since the last call; `level` is then the
  // newest block's.
  bool NewBlock(SoundLevel* level);

 private:
  std::FILE* file_ = nullptr;
  std::uint32_t blocks_seen_ = 0;
  std::array<std::uint8_t, kBlockBytes> block_{};
};

// The level of `frames` 16-bit little-endian mono samples.
SoundLevel LevelOf(const std::uint8_t* samples, std::size_t frames);

}  // namespace tarnwick::cli
