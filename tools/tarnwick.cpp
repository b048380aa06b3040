// The command line, --help, and the one table that turns the library's
// results into exit codes (the result itself) and messages.

#include <charconv>

#include "recording_format.h"
#include "tarnwick.h"
#include "tool.h"

namespace tarnwick::tool {
namespace {

struct Outcome {
  std::int32_t result;
  bool names_output;
  const char* command;
  const char* message;  // '%' stands for the file it names
  const char* summary;  // for --help
};
constexpr Outcome kOutcomes[] = {
    {TARNWICK_REVERSE_INPUT_FAILED, false, "reverse",
     "cannot read '%' (missing, unreadable, not seekable, or an unsupported frame size)", "IN could not be read"},
    {TARNWICK_REVERSE_OUTPUT_FAILED, true, "reverse",
     "cannot write '%' (cannot be created or written, or it is the input file)", "OUT could not be written"},
    {TARNWICK_REVERSE_NOT_WAVE, false, "reverse", "'%' is not a WAVE file (too short, or bytes 8..11 are not \"WAVE\")",
     "IN is not a WAVE file"},
    {TARNWICK_RECORD_DEVICE_FAILED, true, "record", "no capture device could be opened (or '%' could not be created)",
     "no capture device, or OUT not created"},
    {TARNWICK_RECORD_QUEUE_FAILED, true, "record", "the capture device refused the buffer",
     "the device refused the buffer"},
    {TARNWICK_RECORD_START_FAILED, true, "record", "the capture device would not start", "the device would not start"},
};

// The tool's own exit codes; the library's failures follow from kOutcomes.
struct ExitCode {
  int code;
  const char* meaning;
};
constexpr ExitCode kToolCodes[] = {{kExitOk, "done"},
                                   {kExitUsage, "bad arguments"},
                                   {kExitUnknown, "the library returned a result this version does not know"},
                                   {kExitOsError, "the system refused what the tool itself needs"}};
constexpr long kDefaultWidth = 64;

std::string Help() {
  std::string text = R"(usage:
  tarnwick reverse IN OUT
      writes OUT: IN's #-byte header unchanged, then its sample frames in reverse
      order; warns when IN's samples do not start at byte #
  tarnwick show FILE [--width N]
      draws the peak envelope of FILE's samples as text, N columns wide (#)
  tarnwick record OUT [--seconds N]
      records the default audio input into OUT (# Hz, #-bit, mono WAV) until N
      seconds are recorded, or Enter, Ctrl-C or SIGTERM comes; the file is always
      finished
  tarnwick --help | --version
exit codes:
)";
  for (const long fact :
       {long{kWavHeaderBytes}, long{kWavHeaderBytes}, kDefaultWidth, long{kRecordingRate}, long{kRecordingBits}}) {
    text.replace(text.find('#'), 1, std::to_string(fact));
  }
  for (int code = 0; code < 128; ++code) {
    std::string line;
    for (const ExitCode& c : kToolCodes) line = c.code == code ? c.meaning : line;
    for (const Outcome& o : kOutcomes) {
      if (o.result == code) line.append(line.empty() ? "" : "; ").append(o.command).append(": ").append(o.summary);
    }
    const std::string number = std::to_string(code);
    if (!line.empty()) text.append("  ").append(number).append(4 - number.size(), ' ').append(line).append("\n");
  }
  return text;
}

int UsageError(const std::string& message) {
  PrintError(message + " (see tarnwick --help)");
  return kExitUsage;
}

}  // namespace

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

void ClearLine(std::size_t width) {
  if (width == 0) return;
  std::string blank(width + 2, ' ');
  blank.front() = blank.back() = '\r';
  PrintText(blank);
  (void)std::fflush(stdout);
}

int Report(std::int32_t result, bool recording, const std::string& in, const std::string& out) {
  if (result == TARNWICK_DONE) return kExitOk;
  for (const Outcome& o : kOutcomes) {
    if (o.result != result || (std::string_view(o.command) == "record") != recording) continue;
    std::string message = o.message;
    if (const auto at = message.find('%'); at != std::string::npos) message.replace(at, 1, o.names_output ? out : in);
    PrintError(message);
    return result;
  }
  PrintError("the library returned " + std::to_string(result) + ", which this version does not know");
  return kExitUnknown;
}

bool UsablePath(const Arg& arg) {
  if (arg.is_utf8) return true;
  std::string shown = arg.text;  // what is not printable ASCII shows as '?'
  for (char& c : shown) c = c >= 0x20 && c < 0x7F ? c : '?';
  PrintError("the path '" + shown + "' is not valid UTF-8; paths are taken as UTF-8");
  return false;
}

int RunTool(const std::vector<Arg>& args) {
  std::vector<const Arg*> positionals;
  std::string option;
  std::string value;
  bool help = false;
  bool version = false;
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& text = args[i].text;
    const std::string name = text.substr(0, text.find('='));
    if (options_ended || text.size() < 2 || text[0] != '-') {
      positionals.push_back(&args[i]);
    } else if (text == "--") {
      options_ended = true;
    } else if (text == "--help" || text == "-h" || text == "--version") {
      (text == "--version" ? version : help) = true;
    } else if (name == "--width" || name == "--seconds") {
      option = name;
      if (name.size() < text.size()) {
        value = text.substr(name.size() + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i].text;
      } else {
        return UsageError("option " + name + " needs a value");
      }
    } else {
      return UsageError("unknown option " + text);
    }
  }
  if (version || help) {
    PrintText(version ? "tarnwick " TARNWICK_VERSION "\n" : Help());
    return kExitOk;
  }
  if (positionals.empty()) return UsageError("no command given");
  const std::string& name = positionals.front()->text;
  const std::string arguments = name == "reverse"  ? "IN OUT"
                                : name == "show"   ? "FILE [--width N]"
                                : name == "record" ? "OUT [--seconds N]"
                                                   : "";
  if (arguments.empty()) return UsageError("unknown command '" + name + "'");
  if (arguments.find(option) == std::string::npos) return UsageError(name + " does not take " + option);
  if (positionals.size() != (name == "reverse" ? 3u : 2u))
    return UsageError("usage: tarnwick " + name + " " + arguments);
  // A whole decimal number within [low, high], nothing else.
  const auto count = [&](long low, long high) -> std::optional<long> {
    long n = 0;
    const auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || failure != std::errc() || end != value.data() + value.size() || n < low || n > high) return {};
    return n;
  };
  if (name == "reverse") return Reverse(*positionals[1], *positionals[2]);
  if (name == "show") {
    const auto width = option.empty() ? std::optional<long>(kDefaultWidth) : count(8, 1000);
    return width ? Show(*positionals[1], *width) : UsageError("--width takes a number from 8 to 1000");
  }
  const auto seconds = count(1, kMaxBlocks);
  if (!option.empty() && !seconds)
    return UsageError("--seconds takes a number from 1 to " + std::to_string(kMaxBlocks));
  return Record(*positionals[1], seconds);
}

}  // namespace tarnwick::tool
