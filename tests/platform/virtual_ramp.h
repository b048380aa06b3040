#pragma once
// What the capture tests' virtual device delivers, on every OS: sample i since
// the device was opened is (i * 7) mod 65536, as a 16-bit sample.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnwick::test {

inline std::int16_t RampSample(std::size_t i) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(i * 7)); }

// Runs of zero samples the test source itself may insert: under Wine, ALSA's
// file plugin now and then fails to read its input ("requested more frames
// than pcm buffer") and passes on the sound server's silence instead, after
// which the ramp goes on where it was. Never seen on Linux: none allowed there.
#if defined(_WIN32)
inline constexpr std::size_t kInsertedSilenceAllowed = 4000;
#else
inline constexpr std::size_t kInsertedSilenceAllowed = 0;
#endif

// Ramp samples the test source may drop at the start: under Wine, the ALSA
// driver discards whatever its device captured before the stream was
// started, at most one of the sound server's periods, 10 ms (80 samples have
// been seen); the bound stays well below one of the capture layer's own
// buffers, so a buffer lost by the layer still shows. So the first sample may
// lie a little further along the ramp; nothing may be lost once capture has
// begun. On Linux capture begins exactly where the ramp stands.
#if defined(_WIN32)
inline constexpr std::size_t kDroppedAtStartAllowed = 400;
#else
inline constexpr std::size_t kDroppedAtStartAllowed = 0;
#endif

// How captured samples relate to the ramp.
struct RampCheck {
  std::size_t skipped = 0;   // ramp samples dropped before the run's first
  std::size_t followed = 0;  // samples that continue the ramp from there
  std::size_t inserted = 0;  // zero samples between two that continue it
  std::size_t padding = 0;   // zero samples after the last that continues it
  std::size_t off = 0;       // the first sample that is none of these; the count when none
};

// Capture that should begin at ramp index `from`, or at most `droppable`
// samples after it. A lost or repeated sample cannot pass for
// inserted silence: after a run of zeros the ramp must go on exactly where it
// was.
inline RampCheck CheckRamp(const std::vector<std::int16_t>& samples, std::size_t from = 0,
                           std::size_t droppable = kDroppedAtStartAllowed) {
  RampCheck check;
  std::size_t first = 0;  // the first sample that can only be the ramp's
  while (first < samples.size() && samples[first] == 0) ++first;
  if (first < samples.size() && samples[0] != RampSample(from)) {
    while (check.skipped < droppable && RampSample(from + check.skipped) != samples[first]) {
      ++check.skipped;
    }
    if (RampSample(from + check.skipped) != samples[first]) check.skipped = 0;
  }
  for (; check.off < samples.size(); ++check.off) {
    const std::int16_t sample = samples[check.off];
    if (sample == RampSample(from + check.skipped + check.followed)) {
      ++check.followed;
      check.inserted += check.padding;
      check.padding = 0;
    } else if (sample == 0) {
      ++check.padding;
    } else {
      break;
    }
  }
  return check;
}

}  // namespace tarnwick::test
