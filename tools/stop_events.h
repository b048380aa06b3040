#pragma once
// What ends a recording besides its deadline: SIGINT, SIGTERM or SIGHUP (on
// Windows: Ctrl-C, Ctrl-Break, closing the console), and Enter on stdin. On
// POSIX signals are taken through a signalfd rather than a handler, on
// Windows the console's control handler only sets an event: either way the
// library is only ever called from the main thread's loop, and a Ctrl-C
// always lets the recording be finished. One implementation per OS:
// posix/stop_events_posix.cpp, win32/stop_events_win32.cpp.

#include <cstdint>

namespace tarnwick::cli {

class StopEvents {
 public:
  enum class Event {
    kNone,    // the wait timed out
    kSignal,  // SIGINT, SIGTERM or SIGHUP arrived
    kEnter,   // a line ended on stdin
  };

  // Blocks the stop signals in the calling thread, and so in every thread it
  // creates later: the library's capture thread and ALSA's plugin threads.
  // Construct it before the library is loaded and before anything starts a
  // thread, or a signal could be delivered to a thread that has not blocked
  // it and end the process with the recording unfinished. The signals stay
  // blocked until the process exits: one sent while the recording is being
  // finished is ignored, not fatal.
  //
  // Stdin is watched for Enter when it is open: a terminal (while the process
  // is in the foreground), a pipe or a file. End of file there stops nothing;
  // it only ends the watching, so a recording with stdin closed or at
  // /dev/null runs to its deadline or a signal. A closed descriptor 0 is
  // opened on /dev/null, so that no file the library opens can land there.
  StopEvents();
  ~StopEvents();
  StopEvents(const StopEvents&) = delete;
  StopEvents& operator=(const StopEvents&) = delete;

  // False when the signals could not be routed to a descriptor; `errno` says why.
  bool ok() const { return source_ != -1; }

  // Whether Enter on stdin can still end the recording.
  bool WatchingStdin() const;

  // Waits up to `timeout_ms` milliseconds (-1: without limit) for an event.
  Event Wait(int timeout_ms);

 private:
  bool StdinInForeground() const;
  bool ReadStdinLine();

  // Where stop requests arrive: the signalfd on POSIX, an event on Windows.
  std::intptr_t source_ = -1;
  bool watch_stdin_ = false;
};

}  // namespace tarnwick::cli
