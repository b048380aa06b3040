#include "envelope_plot.h"

#include <algorithm>
#include <cstdio>

namespace tarnwick::cli {
namespace {

constexpr std::size_t kGutter = 8;  // "100.0% |"

std::string Percent(double fraction) {
  char text[16];
  std::snprintf(text, sizeof text, "%5.1f%%", fraction * 100.0);
  return text;
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
    char end[32];
    std::snprintf(end, sizeof end, "%.3f s", seconds);
    const std::string start = "0 s";
    const std::size_t width = peaks.size() + 2;
    const std::size_t gap = width > start.size() + std::char_traits<char>::length(end)
                                ? width - start.size() - std::char_traits<char>::length(end)
                                : 1;
    plot += std::string(kGutter - 1, ' ') + start + std::string(gap, ' ') + end + "\n";
  }
  return plot;
}

}  // namespace tarnwick::cli
