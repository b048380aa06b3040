#pragma once
// The subcommands, as one table: main dispatches through it and the help text
// is made from it, so a new subcommand is one more entry and its run function.
// --help prints GeneralHelp(), or CommandHelp() after a command.

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"

namespace tarnwick::cli {

// What a command receives: its own positionals (the command name removed),
// its options, and the --library override that every command accepts.
struct Invocation {
  std::vector<std::string_view> positionals;
  const CommandLine* line = nullptr;
  std::optional<std::string_view> library_path;
};

struct Command {
  std::string_view name;
  std::string_view synopsis;                 // the arguments after the name, for usage lines
  std::string_view description;              // what it does, a few lines for --help
  std::size_t positionals;                   // how many it requires, exactly
  std::array<std::string_view, 2> options;   // the value options it accepts, besides --library
  int (*run)(const Invocation& invocation);  // returns the exit code
};

std::span<const Command> Commands();
const Command* FindCommand(std::string_view name);

std::string GeneralHelp();
std::string CommandHelp(const Command& command);
std::string UsageLine(const Command& command);

// The run functions, one file each.
int RunReverse(const Invocation& invocation);
int RunShow(const Invocation& invocation);
int RunRecord(const Invocation& invocation);

}  // namespace tarnwick::cli
