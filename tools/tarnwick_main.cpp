// tarnwick: the command-line host of the library. It loads the library at run
// time, like any other host, and turns results into messages and exit codes.
// The OS's entry point (system.h) hands it the arguments as UTF-8.

#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "command_table.h"
#include "console.h"
#include "exit_codes.h"
#include "system.h"

namespace tarnwick::cli {
namespace {

int UsageError(const std::string& message) {
  PrintError(message + " (see tarnwick --help)");
  return kExitUsage;
}

bool Accepts(const Command& command, std::string_view option) {
  if (option == "--library") return true;
  for (const std::string_view accepted : command.options) {
    if (!accepted.empty() && accepted == option) return true;
  }
  return false;
}

}  // namespace

int RunTool(const std::vector<std::string_view>& args) {
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(args, &line, &error)) return UsageError(error);
  if (line.version) {
    PrintText("tarnwick " TARNWICK_VERSION "\n");
    return kExitOk;
  }
  if (line.positionals.empty()) {
    if (line.help) {
      PrintText(GeneralHelp());
      return kExitOk;
    }
    return UsageError("no command given");
  }
  const Command* command = FindCommand(line.positionals.front());
  if (command == nullptr) return UsageError("unknown command '" + std::string(line.positionals.front()) + "'");
  if (line.help) {
    PrintText(CommandHelp(*command));
    return kExitOk;
  }
  for (const auto& option : line.options) {
    if (!Accepts(*command, option.first)) {
      return UsageError(std::string(command->name) + " does not take " + std::string(option.first));
    }
  }
  Invocation invocation;
  invocation.positionals.assign(line.positionals.begin() + 1, line.positionals.end());
  invocation.line = &line;
  invocation.library_path = line.Option("--library");
  if (invocation.positionals.size() != command->positionals) return UsageError("usage: " + UsageLine(*command));
  return command->run(invocation);
}

}  // namespace tarnwick::cli
