#include "recording_tail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "peak_envelope.h"
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

RecordingTail::RecordingTail(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

RecordingTail::~RecordingTail() {
  if (fd_ >= 0) ::close(fd_);
}

bool RecordingTail::NewBlock(SoundLevel* level) {
  if (fd_ < 0) return false;
  WavView header;
  struct stat st {};
  if (::pread(fd_, header.bytes, sizeof header.bytes, 0) != static_cast<ssize_t>(sizeof header.bytes) ||
      ::fstat(fd_, &st) != 0 || st.st_size < kHeaderBytes) {
    return false;
  }
  // The header is rewritten in place while this reads it; the file's size
  // bounds what a torn read of it could claim.
  const auto written = static_cast<std::uint64_t>(st.st_size) - kHeaderBytes;
  const auto blocks =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(header.DataChunkBytes(), written) / kBlockBytes);
  if (blocks <= blocks_seen_) return false;
  const off_t at = kHeaderBytes + static_cast<off_t>(blocks - 1) * kBlockBytes;
  if (::pread(fd_, block_.data(), block_.size(), at) != static_cast<ssize_t>(block_.size())) return false;
  blocks_seen_ = blocks;
  *level = LevelOf(block_.data(), kBlockBytes / 2);
  return true;
}

}  // namespace tarnwick::cli
