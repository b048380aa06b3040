#include "command_table.h"

#include <string>

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

std::string Indented(std::string_view text, std::string_view indent) {
  std::string out(indent);
  for (const char c : text) {
    out += c;
    if (c == '\n') out += indent;
  }
  return out + "\n";
}

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

std::string UsageLine(const Command& command) {
  return "tarnwick " + std::string(command.name) + " " + std::string(command.synopsis);
}

std::string CommandHelp(const Command& command) {
  return "usage: " + UsageLine(command) + " [--library PATH]\n\n" + Indented(command.description, "  ");
}

std::string GeneralHelp() {
  std::string text = "usage: tarnwick COMMAND [ARGS] [--library PATH]\n\ncommands:\n";
  for (const Command& command : Commands()) {
    text += "  " + UsageLine(command) + "\n" + Indented(command.description, "      ");
  }
  text +=
      "\noptions:\n"
      "  --library PATH  load the library from PATH instead of searching next to the\n"
      "                  program, in ../lib beside it (Linux), then the system's path\n"
      "  --help          this text (after a command: that command's)\n"
      "  --version       the version\n"
      "\nexit codes:\n"
      "  0 done; 1 input failed, or no capture device (or OUT not created);\n"
      "  2 output failed, or the capture device refused the buffer; 3 the capture\n"
      "  device would not start; 4 input is not a WAVE file; 64 bad arguments;\n"
      "  70 the library could not be loaded; 71 the system refused the tool\n";
  return text;
}

}  // namespace tarnwick::cli
