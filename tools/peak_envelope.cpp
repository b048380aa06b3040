#include "peak_envelope.h"

#include <algorithm>
#include <cmath>

namespace tarnwick::cli {

PeakEnvelope::PeakEnvelope(std::size_t columns, std::uint64_t frames, std::uint16_t channels, std::uint16_t bits)
    : peaks_(columns, 0.0),
      frames_(frames),
      channels_(channels),
      sample_bytes_(bits / 8u),
      full_scale_(std::ldexp(1.0, bits - 1)) {}

double PeakEnvelope::Magnitude(const std::uint8_t* sample) const {
  if (sample_bytes_ == 1) return std::fabs(static_cast<double>(sample[0]) - 128.0);
  // Little-endian, the top byte carrying the sign: assemble unsigned, then
  // subtract 2^bits when the sign bit is set.
  std::uint64_t raw = 0;
  for (std::size_t i = 0; i < sample_bytes_; ++i) raw |= static_cast<std::uint64_t>(sample[i]) << (8 * i);
  auto value = static_cast<double>(raw);
  if (sample[sample_bytes_ - 1] & 0x80) value -= std::ldexp(1.0, static_cast<int>(8 * sample_bytes_));
  return std::fabs(value);
}

void PeakEnvelope::AddFrames(const std::uint8_t* data, std::size_t frame_count) {
  const std::size_t frame_bytes = channels_ * sample_bytes_;
  for (std::size_t f = 0; f < frame_count && seen_ < frames_; ++f, ++seen_) {
    // Column c covers frames [c * frames / columns, (c + 1) * frames / columns),
    // so a file and its reversal split into mirrored columns when the frame
    // count divides evenly.
    const auto column = static_cast<std::size_t>(seen_ * peaks_.size() / frames_);
    double& peak = peaks_[column];
    for (std::size_t c = 0; c < channels_; ++c) {
      peak = std::max(peak, std::min(1.0, Magnitude(data + f * frame_bytes + c * sample_bytes_) / full_scale_));
    }
  }
}

}  // namespace tarnwick::cli
