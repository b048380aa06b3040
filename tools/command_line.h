#pragma once
// The arguments after the program name, split into positionals and options.
// Options may stand before or after the command name; "--" ends them.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnwick::cli {

struct CommandLine {
  std::vector<std::string_view> positionals;                           // the command name first
  std::vector<std::pair<std::string_view, std::string_view>> options;  // "--width", "80"
  bool help = false;
  bool version = false;

  // The value of the last occurrence of `name`, if any.
  std::optional<std::string_view> Option(std::string_view name) const;
};

// Splits `args`. --help (-h) and --version are flags; every other --name takes
// a value, as --name=VALUE or --name VALUE. On failure returns false with a
// one-line reason in `error`.
bool ParseCommandLine(const std::vector<std::string_view>& args, CommandLine* line, std::string* error);

// A whole non-negative decimal number within [low, high], nothing else.
std::optional<long> ParseCount(std::string_view text, long low, long high);

}  // namespace tarnwick::cli
