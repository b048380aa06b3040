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
    {"record",
     "OUT [--seconds N]",
     "Records the default audio input into OUT (8 kHz, 16-bit, mono WAV) until\n"
     "N seconds have passed, Enter is pressed, or Ctrl-C or SIGTERM arrives; the\n"
     "file is finished in every case. On a terminal it shows the time and the\n"
     "level of each second as it is recorded. Exits 1 when no capture device\n"
     "can be opened, 2 when it refuses the buffer, 3 when it will not start.",
     1,
     {"--seconds"},
     RunRecord},
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
