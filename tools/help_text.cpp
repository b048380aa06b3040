#include "help_text.h"

namespace tarnwick::cli {
namespace {

std::string Indented(std::string_view text, std::string_view indent) {
  std::string out(indent);
  for (const char c : text) {
    out += c;
    if (c == '\n') out += indent;
  }
  return out + "\n";
}

}  // namespace

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
      "  --library PATH  load libTarnwick from PATH instead of searching next to the\n"
      "                  program, in ../lib beside it, then the system library path\n"
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
