#include "command_line.h"

#include <charconv>

namespace tarnwick::cli {

std::optional<std::string_view> CommandLine::Option(std::string_view name) const {
  std::optional<std::string_view> value;
  for (const auto& [option, option_value] : options) {
    if (option == name) value = option_value;
  }
  return value;
}

bool ParseCommandLine(const std::vector<std::string_view>& args, CommandLine* line, std::string* error) {
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
      line->positionals.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      line->help = true;
    } else if (arg == "--version") {
      line->version = true;
    } else if (arg.size() > 2 && arg.substr(0, 2) == "--") {
      const std::size_t equals = arg.find('=');
      if (equals != std::string_view::npos) {
        line->options.emplace_back(arg.substr(0, equals), arg.substr(equals + 1));
      } else if (i + 1 < args.size()) {
        line->options.emplace_back(arg, args[++i]);
      } else {
        *error = "option " + std::string(arg) + " needs a value";
        return false;
      }
    } else {
      *error = "unknown option " + std::string(arg);
      return false;
    }
  }
  return true;
}

std::optional<long> ParseCount(std::string_view text, long low, long high) {
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, value);
  if (text.empty() || failure != std::errc() || stop != end || value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace tarnwick::cli
