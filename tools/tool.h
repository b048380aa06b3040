#pragma once
// tarnwick: the command-line host of the library. It links the library like
// any other program, calls its three functions and turns their results into
// messages and exit codes; format facts come from the library's own headers.
// The OS's part (the entry point, files, the terminal, what stops a
// recording) is one file in posix/ or win32/.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::tool {

// An argument as text for parsing and messages (UTF-8), and as the UTF-16
// path the library takes, made once from what the OS passed.
struct Arg {
  std::string text;
  std::u16string path;
  bool is_utf8 = true;  // false: the bytes are not UTF-8, and there is no path
};

// Exit codes besides the library's failure results, which are exit codes too.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 64;    // EX_USAGE: bad arguments
inline constexpr int kExitUnknown = 70;  // EX_SOFTWARE: a result this version does not know
inline constexpr int kExitOsError = 71;  // EX_OSERR: the system refused what the tool needs

// Messages are single lines on stderr, "tarnwick: ..."; results go to stdout.
void PrintError(std::string_view message);
void PrintText(std::string_view text);
std::string Fixed(double value, int decimals);
void ClearLine(std::size_t width);  // blanks a status line of that width
// Prints the message for a library result, naming `in` or `out` as the
// failure concerns the one or the other, and returns its exit code.
int Report(std::int32_t result, bool recording, const std::string& in, const std::string& out);
bool UsablePath(const Arg& arg);  // false, with a message, when it names no path
// A little-endian sample of 8 (unsigned), 16, 24 or 32 bits, of full scale.
double Magnitude(const std::uint8_t* sample, unsigned bits);

int RunTool(const std::vector<Arg>& args);
int Reverse(const Arg& in, const Arg& out);
int Show(const Arg& file, long width);
int Record(const Arg& out, std::optional<long> seconds);

// The OS's part.
std::FILE* OpenForReading(const Arg& file);  // null with errno set on failure
std::optional<std::uint64_t> RegularFileSize(std::FILE* file);
// Exactly n bytes at `offset`, afresh from the OS (the file may be growing).
bool ReadAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t n);
bool StdoutIsTerminal();

// What ends a recording besides `--seconds`: SIGINT, SIGTERM, SIGHUP (on
// Windows Ctrl-C, Ctrl-Break, the console closing) and Enter on stdin (end of
// file there only ends the watching), as events, never through a handler
// that could cut the recording short. Taken before the recording starts: on
// POSIX that blocks the signals in this thread, and so in every thread the
// library starts. False when the OS refuses.
bool TakeStopEvents();
bool WatchingStdin();
// True where the OS tells of writes (Linux): one to `file` then ends a wait.
bool WatchForWrites(const Arg& file);
bool WaitForStop(int timeout_ms);  // true: stop; -1 waits without limit

}  // namespace tarnwick::tool
