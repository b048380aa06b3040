#include "console.h"

#include <charconv>
#include <cstdio>

namespace tarnwick::cli {

void PrintError(std::string_view message) {
  const std::string line = "tarnwick: " + std::string(message) + "\n";
  (void)std::fwrite(line.data(), 1, line.size(), stderr);
}

void PrintText(std::string_view text) { (void)std::fwrite(text.data(), 1, text.size(), stdout); }

std::string Fixed(double value, int decimals) {
  char text[64];
  const auto [end, failure] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return failure == std::errc() ? std::string(text, end) : std::string("?");
}

}  // namespace tarnwick::cli
