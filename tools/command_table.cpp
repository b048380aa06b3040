#include "command_table.h"

namespace tarnwick::cli {
namespace {

constexpr Command kCommands[] = {
    {"reverse",
     "IN OUT",
     "Writes OUT: the 44-byte header of IN unchanged, then IN's sample frames in\n"
     "reverse order. Warns when IN's header is not the plain 44-byte one, since\n"
     "everything after byte 44 is reversed as samples.",
     2,
     {},
     RunReverse},
    {"show",
     "FILE [--width N]",
     "Draws the peak envelope of FILE's samples as text, N columns wide\n"
     "(default 64), so that a reversal can be seen at a glance.",
     1,
     {"--width"},
     RunShow},
};

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

}  // namespace tarnwick::cli
