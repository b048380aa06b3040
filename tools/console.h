#pragma once
// The tool's only ways of printing. Messages are single lines on stderr,
// prefixed "tarnwick: ", so that scripts and logs can grep them; results go to
// stdout. A failed write (a closed pipe) is not reported: there is nowhere
// left to report it, and the exit code still says what happened.

#include <string>
#include <string_view>

namespace tarnwick::cli {

void PrintError(std::string_view message);
void PrintText(std::string_view text);

// `value` with exactly `decimals` digits after the point.
std::string Fixed(double value, int decimals);

}  // namespace tarnwick::cli
