// tarnwick record OUT [--seconds N]: records the default audio input into OUT
// until N seconds have passed, Enter, Ctrl-C or SIGTERM, and always finishes
// the file through SoundRecorderStop. The library records on its own thread;
// this thread only waits for a reason to stop and, on a terminal, shows the
// level of each second as it lands in the file.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>

#include "command_table.h"
#include "console.h"
#include "exit_codes.h"
#include "library_loader.h"
#include "meter_line.h"
#include "path_argument.h"
#include "recording_tail.h"
#include "stop_events.h"
#include "system.h"
#include "tarnwick.h"

namespace tarnwick::cli {
namespace {

using Clock = std::chrono::steady_clock;

// The longest recording a WAV header can state, in one-second blocks.
constexpr long kMaxSeconds = (0xFFFFFFFFL - 36) / RecordingTail::kBlockBytes;
constexpr int kRedrawMs = 250;
// How long before N seconds `--seconds N` stops. The device starts as
// SoundRecorderStart returns, so its Nth block lands a little after N
// seconds from then; stopping at N exactly races that block and the file
// would, as often as not, get an (N+1)th second of almost pure padding.
// Stopping this much earlier hands back the Nth block nearly full instead.
constexpr std::chrono::milliseconds kDeadlineLead{100};

struct Recorder {
  decltype(&SoundRecorderStart) start = nullptr;
  decltype(&SoundRecorderStop) stop = nullptr;
};

int ReportStartFailure(std::int32_t result, const std::string& out) {
  switch (result) {
    case TARNWICK_RECORD_DEVICE_FAILED:
      PrintError("no capture device could be opened (or '" + out + "' could not be created)");
      return kExitInputFailed;
    case TARNWICK_RECORD_QUEUE_FAILED: PrintError("the capture device refused the buffer"); return kExitOutputFailed;
    case TARNWICK_RECORD_START_FAILED: PrintError("the capture device would not start"); return kExitCaptureStart;
    default:
      PrintError("the library returned " + std::to_string(result) + ", which this version does not know");
      return kExitLibrary;
  }
}

// The terminal's status line, rewritten in place; nothing at all when stdout
// is not a terminal, so that logs get only the final line.
class StatusLine {
 public:
  StatusLine(const std::string& path, bool enabled) : enabled_(enabled), tail_(enabled ? path : std::string()) {}

  bool enabled() const { return enabled_; }

  void Show(const std::string& elapsed, const std::string& hint) {
    if (!enabled_) return;
    SoundLevel level;
    if (tail_.NewBlock(&level)) level_ = level;
    Write(MeterLine(elapsed, level_, hint));
  }

  void Clear() {
    if (!enabled_ || width_ == 0) return;
    std::string blank(width_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    PrintText(blank);
  }

 private:
  void Write(const std::string& line) {
    const std::size_t pad = line.size() < width_ ? width_ - line.size() : 0;
    width_ = std::max(width_, line.size());
    std::string text(1, '\r');
    text.append(line).append(pad, ' ');
    PrintText(text);
    (void)std::fflush(stdout);
  }

  bool enabled_;
  RecordingTail tail_;
  std::optional<SoundLevel> level_;
  std::size_t width_ = 0;
};

// "12 s", or "12/30 s" with a deadline.
std::string ElapsedText(std::chrono::seconds::rep elapsed, std::optional<long> seconds) {
  std::string text = std::to_string(elapsed);
  if (seconds) text.append("/").append(std::to_string(*seconds));
  return text.append(" s");
}

// Waits for the deadline, Enter or a stop signal, redrawing the status line.
void WaitForStop(StopEvents& stops, std::optional<long> seconds, StatusLine& status) {
  const Clock::time_point started = Clock::now();
  const Clock::time_point deadline =
      seconds ? started + std::chrono::seconds(*seconds) - kDeadlineLead : Clock::time_point::max();
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return;
    // long is 32 bits on Windows; seconds and milliseconds within a
    // recording's longest span fit it.
    const auto elapsed = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(now - started).count());
    status.Show(ElapsedText(elapsed, seconds), stops.WatchingStdin() ? "Enter or Ctrl-C stops" : "Ctrl-C stops");
    // Without a terminal there is nothing to redraw: the thread sleeps until
    // something ends the recording.
    long timeout = status.enabled() ? kRedrawMs : -1;
    if (seconds) {
      // Rounded up, so the loop does not spin through the last millisecond.
      const auto left = static_cast<long>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
      timeout = timeout < 0 ? left : std::min(timeout, left);
    }
    if (stops.Wait(static_cast<int>(timeout)) != StopEvents::Event::kNone) return;
  }
}

}  // namespace

int RunRecord(const Invocation& invocation) {
  const std::string out(invocation.positionals[0]);
  std::optional<long> seconds;
  if (const auto option = invocation.line->Option("--seconds")) {
    seconds = ParseCount(*option, 1, kMaxSeconds);
    if (!seconds) {
      PrintError("--seconds takes a number from 1 to " + std::to_string(kMaxSeconds) + " (see tarnwick --help)");
      return kExitUsage;
    }
  }
  std::u16string out16;
  if (!PathArgumentToUtf16("output", out, &out16)) return kExitUsage;

  // Before the library is loaded, so that every thread it starts has the
  // stop signals blocked (see StopEvents).
  StopEvents stops;
  if (!stops.ok()) {
    PrintError("cannot take Ctrl-C and SIGTERM through a descriptor (" + std::generic_category().message(errno) + ")");
    return kExitOsError;
  }

  std::string error;
  const auto library = LoadedLibrary::Load(invocation.library_path, &error);
  if (!library) {
    PrintError(error);
    return kExitLibrary;
  }
  Recorder recorder;
  recorder.start = library->Find<decltype(&SoundRecorderStart)>("SoundRecorderStart");
  recorder.stop = library->Find<decltype(&SoundRecorderStop)>("SoundRecorderStop");
  if (recorder.start == nullptr || recorder.stop == nullptr) {
    PrintError(library->path() + " does not export SoundRecorderStart and SoundRecorderStop");
    return kExitLibrary;
  }

  const std::int32_t started = recorder.start(out16.c_str());
  if (started != TARNWICK_DONE) {
    // A failed start leaves the file holding an empty recording and may hold
    // the device; Stop finishes the one and releases the other.
    (void)recorder.stop();
    return ReportStartFailure(started, out);
  }

  StatusLine status(out, StdoutIsTerminal());
  WaitForStop(stops, seconds, status);
  const std::int32_t recorded = recorder.stop();
  status.Clear();
  PrintText("recorded " + std::to_string(recorded) + (recorded == 1 ? " second" : " seconds") + " to " + out + "\n");
  return kExitOk;
}

}  // namespace tarnwick::cli
