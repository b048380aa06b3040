// Stops on Windows: the console's control handler (Ctrl-C, Ctrl-Break, the
// console closing) sets an event; a thread of its own reads stdin, since a
// console or pipe handle cannot be waited on for "a line has ended".

#include <windows.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "stop_events.h"

namespace tarnwick::cli {
namespace {

// One StopEvents per process, as on POSIX where the signals are process-wide.
HANDLE g_stop = nullptr;
HANDLE g_enter = nullptr;
std::atomic<bool> g_watching{false};

BOOL WINAPI OnControl(DWORD) {
  ::SetEvent(g_stop);
  return TRUE;  // handled: the main loop finishes the recording and exits
}

// Blocks in ReadFile; left running at exit, which ends it.
void WatchStdin(HANDLE input) {
  char text[256];
  for (;;) {
    DWORD got = 0;
    if (::ReadFile(input, text, sizeof text, &got, nullptr) == 0 || got == 0) break;
    if (std::memchr(text, '\n', got) != nullptr || std::memchr(text, '\r', got) != nullptr) ::SetEvent(g_enter);
  }
  g_watching = false;  // end of file or an error: nothing more will come
}

}  // namespace

StopEvents::StopEvents() {
  g_stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_enter = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (g_stop == nullptr || g_enter == nullptr || ::SetConsoleCtrlHandler(OnControl, TRUE) == 0) return;
  source_ = reinterpret_cast<std::intptr_t>(g_stop);
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (input != nullptr && input != INVALID_HANDLE_VALUE) {
    g_watching = true;
    std::thread(WatchStdin, input).detach();
  }
}

StopEvents::~StopEvents() { ::SetConsoleCtrlHandler(OnControl, FALSE); }

bool StopEvents::WatchingStdin() const { return g_watching; }

StopEvents::Event StopEvents::Wait(int timeout_ms) {
  const HANDLE events[2] = {g_stop, g_enter};
  const DWORD result =
      ::WaitForMultipleObjects(2, events, FALSE, timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
  if (result == WAIT_OBJECT_0) return Event::kSignal;
  if (result == WAIT_OBJECT_0 + 1) return Event::kEnter;
  return Event::kNone;
}

}  // namespace tarnwick::cli
