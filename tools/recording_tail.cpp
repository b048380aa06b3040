#include "recording_tail.h"

#include <algorithm>
#include <cmath>

#include "peak_envelope.h"
#include "system.h"
#include "wav_view.h"

namespace tarnwick::cli {

SoundLevel LevelOf(const std::uint8_t* samples, std::size_t frames) {
  SoundLevel level;
  if (frames == 0) return level;
  PeakEnvelope envelope(1, frames, 1, 16);
  envelope.AddFrames(samples, frames);
  level.peak = envelope.Peaks()[0];
  double squares = 0.0;
  for (std::size_t i = 0; i < frames; ++i) {
    const auto sample = static_cast<std::int16_t>(samples[2 * i] | (samples[2 * i + 1] << 8));
    squares += static_cast<double>(sample) * sample;
  }
  level.rms = std::sqrt(squares / static_cast<double>(frames)) / 32768.0;
  return level;
}

RecordingTail::RecordingTail(const std::string& path) : file_(path.empty() ? nullptr : OpenFileForReading(path)) {}

RecordingTail::~RecordingTail() {
  if (file_ != nullptr) (void)std::fclose(file_);
}

bool RecordingTail::NewBlock(SoundLevel* level) {
  if (file_ == nullptr) return false;
  WavView header;
  const std::optional<std::uint64_t> size = RegularFileSize(file_);
  if (!ReadExactlyAt(file_, 0, header.bytes, sizeof header.bytes) || !size || *size < kHeaderBytes) return false;
  // The header is rewritten in place while this reads it; the file's size
  // bounds what a torn read of it could claim.
  const std::uint64_t written = *size - kHeaderBytes;
  const auto blocks =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(header.DataChunkBytes(), written) / kBlockBytes);
  if (blocks <= blocks_seen_) return false;
  const std::uint64_t at = kHeaderBytes + static_cast<std::uint64_t>(blocks - 1) * kBlockBytes;
  if (!ReadExactlyAt(file_, at, block_.data(), block_.size())) return false;
  blocks_seen_ = blocks;
  *level = LevelOf(block_.data(), kBlockBytes / 2);
  return true;
}

}  // namespace tarnwick::cli
