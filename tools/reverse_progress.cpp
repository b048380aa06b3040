#include "reverse_progress.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "console.h"
#include "system.h"

namespace tarnwick::cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kRedrawEvery{200};

// Quick reversals show nothing. The tests shorten the wait to see the line
// without reversing gigabytes.
milliseconds DelayBeforeShowing() {
  // Read before the reversal's thread starts, while the tool has one thread.
  const char* text = std::getenv("TARNWICK_PROGRESS_DELAY_MS");  // NOLINT(concurrency-mt-unsafe)
  return milliseconds(text != nullptr ? std::strtol(text, nullptr, 10) : 1000);
}

std::string ProgressLine(const std::string& path, std::uint64_t written, std::uint64_t total) {
  const double share = total == 0 ? 1.0 : std::min(1.0, static_cast<double>(written) / static_cast<double>(total));
  constexpr double kMegabyte = 1e6;
  return "\rreversing into " + path + ": " + Fixed(share * 100.0, 0) + " % (" +
         Fixed(static_cast<double>(written) / kMegabyte, 0) + " of " +
         Fixed(static_cast<double>(total) / kMegabyte, 0) + " MB) ";
}

}  // namespace

std::int32_t ReverseWithProgress(const std::function<std::int32_t()>& reverse, const std::string& output_path,
                                 const std::u16string& output_path16, std::uint64_t input_bytes) {
  if (!StdoutIsTerminal()) return reverse();
  const std::filesystem::path output(output_path16);
  const milliseconds delay = DelayBeforeShowing();

  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  std::int32_t result = 0;
  std::thread worker([&] {
    const std::int32_t r = reverse();
    const std::lock_guard<std::mutex> hold(lock);
    result = r;
    done = true;
    finished.notify_one();
  });

  std::size_t shown = 0;  // width of the line on the terminal
  std::unique_lock<std::mutex> hold(lock);
  Clock::time_point next = Clock::now() + delay;
  while (!finished.wait_until(hold, next, [&] { return done; })) {
    next = Clock::now() + kRedrawEvery;
    std::error_code error;
    const std::uintmax_t written = std::filesystem::file_size(output, error);
    const std::string line = ProgressLine(output_path, error ? 0 : written, input_bytes);
    PrintText(line);
    (void)std::fflush(stdout);
    shown = std::max(shown, line.size());
  }
  hold.unlock();
  worker.join();
  if (shown > 0) {
    std::string blank(shown, ' ');
    blank.front() = '\r';
    PrintText(blank + "\r");
    (void)std::fflush(stdout);
  }
  return result;
}

}  // namespace tarnwick::cli
