#pragma once
// The peak envelope of a stream of PCM frames: the largest sample magnitude,
// over all channels, in each of a fixed number of equal stretches of time.
// Memory is one number per column, whatever the length of the stream.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnwick::cli {

class PeakEnvelope {
 public:
  // `bits` is 8 (unsigned), 16, 24 or 32 (signed, little-endian); `frames`
  // is how many frames the stream will deliver in all.
  PeakEnvelope(std::size_t columns, std::uint64_t frames, std::uint16_t channels, std::uint16_t bits);

  // Takes whole frames only; the caller keeps a partial frame for the next call.
  void AddFrames(const std::uint8_t* data, std::size_t frame_count);

  // Per column, the peak as a fraction of full scale, 0 to 1.
  const std::vector<double>& Peaks() const { return peaks_; }

 private:
  double Magnitude(const std::uint8_t* sample) const;

  std::vector<double> peaks_;
  std::uint64_t frames_;
  std::uint64_t seen_ = 0;
  std::size_t channels_;
  std::size_t sample_bytes_;
  double full_scale_;
};

}  // namespace tarnwick::cli
