// The tool on Windows: wmain's UTF-16 arguments go to the library, and to the
// wide C runtime, as they are; their UTF-8 form is for parsing and messages.
// The console's control handler (Ctrl-C, Ctrl-Break, closing) sets an event.

#include <windows.h>

#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "tool.h"

namespace tarnwick::tool {
namespace {

HANDLE g_stop = nullptr;  // one per process, as signals are on POSIX
std::atomic<bool> g_watching_stdin{false};

BOOL WINAPI OnControl(DWORD) {
  ::SetEvent(g_stop);
  return TRUE;  // handled: the main thread finishes the recording and exits
}

// A console or pipe cannot be waited on for "a line has ended": a thread of
// its own reads stdin, blocked in ReadFile, and is left running at exit.
void WatchStdin(HANDLE input) {
  char text[256];
  DWORD got = 0;
  while (::ReadFile(input, text, sizeof text, &got, nullptr) != 0 && got > 0) {
    if (std::memchr(text, '\n', got) != nullptr || std::memchr(text, '\r', got) != nullptr) ::SetEvent(g_stop);
  }
  g_watching_stdin = false;  // end of file or an error: nothing more will come
}

}  // namespace

std::FILE* OpenForReading(const Arg& file) {
  return ::_wfopen(reinterpret_cast<const wchar_t*>(file.path.c_str()), L"rb");
}

std::optional<std::uint64_t> RegularFileSize(std::FILE* file) {
  struct _stat64 st {};
  if (::_fstat64(::_fileno(file), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool ReadAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t n) {
  // The seek drops what the stream had buffered, so a growing file is read afresh.
  return ::_fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0 && std::fread(buffer, 1, n, file) == n;
}

bool StdoutIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool TakeStopEvents() {
  g_stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_stop == nullptr || ::SetConsoleCtrlHandler(OnControl, TRUE) == 0) return false;
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  g_watching_stdin = input != nullptr && input != INVALID_HANDLE_VALUE;
  if (g_watching_stdin) std::thread(WatchStdin, input).detach();
  return true;
}

bool WatchingStdin() { return g_watching_stdin; }

// Size and write notices come late on Windows, if at all.
bool WatchForWrites(const Arg&) { return false; }

bool WaitForStop(int timeout_ms) {
  return ::WaitForSingleObject(g_stop, timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0;
}

}  // namespace tarnwick::tool

int wmain(int argc, wchar_t** argv) {
  ::SetConsoleOutputCP(CP_UTF8);
  std::vector<tarnwick::tool::Arg> args;
  for (int i = 1; i < argc; ++i) {
    tarnwick::tool::Arg arg;
    arg.path = reinterpret_cast<const char16_t*>(argv[i]);
    // An unpaired surrogate shows as U+FFFD here; the library gets it as it
    // is, and refuses it.
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    arg.text.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 1);
    ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.text.data(), bytes, nullptr, nullptr);
    arg.text.pop_back();  // the terminating NUL
    args.push_back(std::move(arg));
  }
  return tarnwick::tool::RunTool(args);
}
