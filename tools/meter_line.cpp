#include "meter_line.h"

#include <algorithm>
#include <cmath>

#include "console.h"

namespace tarnwick::cli {
namespace {

constexpr int kBarWidth = 24;
constexpr double kFloorDb = -60.0;  // the left end of the bar

double ToDb(double fraction) { return fraction > 0.0 ? 20.0 * std::log10(fraction) : -HUGE_VAL; }

// Columns of the bar filled at `fraction` of full scale, on a decibel scale.
int Columns(double fraction) {
  const double db = std::max(kFloorDb, ToDb(fraction));
  return static_cast<int>(std::lround((db - kFloorDb) / -kFloorDb * kBarWidth));
}

std::string RightAligned(const std::string& text, std::size_t width) {
  return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

}  // namespace

std::string Decibels(double fraction) {
  const double db = ToDb(fraction);
  if (!std::isfinite(db)) return "-inf";
  // Full scale is 1 part in 32768 above the largest sample: "-0.0" says nothing.
  return db > -0.05 ? std::string("0.0") : Fixed(db, 1);
}

std::string MeterLine(const std::string& elapsed, const std::optional<SoundLevel>& level, const std::string& hint) {
  std::string line = "rec " + RightAligned(elapsed, 9) + " [";
  if (level) {
    // RMS solid, up to the peak dashed: loudness and headroom at a glance.
    const int rms = Columns(level->rms);
    const int peak = std::max(rms, Columns(level->peak));
    line += std::string(static_cast<std::size_t>(rms), '#') + std::string(static_cast<std::size_t>(peak - rms), '-') +
            std::string(static_cast<std::size_t>(kBarWidth - peak), ' ') + "] peak " +
            RightAligned(Decibels(level->peak), 5) + " dB";
  } else {
    line += std::string(kBarWidth, ' ') + "] peak    -- dB";
  }
  return line + "  " + hint;
}

}  // namespace tarnwick::cli
