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

// Ramp samples the test source may drop before a recording's first sample:
// under Wine, the ALSA driver discards whatever its device captured before the
// stream was started (up to one of the sound server's periods, 10 ms, has been
// seen), so the first sample delivered may lie a little way into the ramp.
// These precede the start of capture; none may be lost after it. On Linux the
// first sample delivered is the ramp's first.
#if defined(_WIN32)
inline constexpr std::size_t kDroppedBeforeStartAllowed = 800;
#else
inline constexpr std::size_t kDroppedBeforeStartAllowed = 0;
#endif

// How captured samples relate to the ramp.
struct RampCheck {
  std::size_t skipped = 0;   // ramp samples dropped before the first one delivered
  std::size_t followed = 0;  // samples that continue the ramp from there
  std::size_t inserted = 0;  // zero samples between two that continue it
  std::size_t padding = 0;   // zero samples after the last that continues it
  std::size_t off = 0;       // the first sample that is none of these; the count when none
};

// A lost or repeated sample cannot pass for inserted silence: after a run of
// zeros the ramp must go on exactly where it was.
inline RampCheck CheckRamp(const std::vector<std::int16_t>& samples) {
  RampCheck check;
  if (!samples.empty() && samples[0] != 0) {
    while (check.skipped < kDroppedBeforeStartAllowed && RampSample(check.skipped) != samples[0]) ++check.skipped;
    if (RampSample(check.skipped) != samples[0]) check.skipped = 0;
  }
  for (; check.off < samples.size(); ++check.off) {
    const std::int16_t sample = samples[check.off];
    if (sample == RampSample(check.skipped + check.followed)) {
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
