#pragma once
// A peak envelope drawn in plain ASCII: one text column per envelope column,
// bars growing from the bottom, scaled so that the loudest column fills the
// height. Plain characters, so that it reads the same in a terminal and in a
// CI log.

#include <cstddef>
#include <string>
#include <vector>

namespace tarnwick::cli {

// `peaks` are fractions of full scale; `seconds` (negative when unknown)
// labels the end of the time axis.
std::string PlotEnvelope(const std::vector<double>& peaks, std::size_t rows, double seconds);

}  // namespace tarnwick::cli
