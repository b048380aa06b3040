#include "envelope_plot.h"

#include <algorithm>

#include "console.h"

namespace tarnwick::cli {
namespace {

constexpr std::size_t kGutter = 8;  // "100.0% |"

// Right-aligned in six characters: " 70.1%", "100.0%".
std::string Percent(double fraction) {
  const std::string text = Fixed(fraction * 100.0, 1) + "%";
  return std::string(text.size() < 6 ? 6 - text.size() : 0, ' ') + text;
}

// A bar of `height` rows (fractional) seen at row `row` from the bottom.
char Cell(double height, std::size_t row) {
  const double above = height - static_cast<double>(row);
  if (above >= 1.0) return '#';
  if (above >= 0.5) return ':';
  if (above > 0.0) return '.';
  return ' ';
}

}  // namespace

std::string PlotEnvelope(const std::vector<double>& peaks, std::size_t rows, double seconds) {
  const double loudest = peaks.empty() ? 0.0 : *std::max_element(peaks.begin(), peaks.end());
  if (loudest <= 0.0) return "(silence: every sample is zero)\n";
  std::string plot;
  for (std::size_t row = rows; row-- > 0;) {
    std::string label(kGutter - 2, ' ');
    if (row + 1 == rows) label = Percent(loudest);
    if (row == 0) label = Percent(0.0);
    plot += label + " |";
    for (const double peak : peaks) plot += Cell(peak / loudest * static_cast<double>(rows), row);
    plot += "|\n";
  }
  plot += std::string(kGutter - 1, ' ') + "+" + std::string(peaks.size(), '-') + "+\n";
  if (seconds >= 0.0) {
    const std::string end = Fixed(seconds, 3) + " s";
    const std::string start = "0 s";
    const std::size_t width = peaks.size() + 2;
    const std::size_t gap = width > start.size() + end.size() ? width - start.size() - end.size() : 1;
    plot += std::string(kGutter - 1, ' ') + start + std::string(gap, ' ') + end + "\n";
  }
  return plot;
}

}  // namespace tarnwick::cli
