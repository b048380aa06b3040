// record_stop_latency LIBRARY DIR RUNS SECONDS: starts a recording into
// DIR/stop-N.wav, lets it run SECONDS (fractions allowed, so that the stop
// lands inside a block) and times SoundRecorderStop on the steady clock.
// Prints one line per run: the milliseconds Stop took and the seconds it
// returned. Exits 1 when the library cannot be loaded or a start fails.

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "tarnwick.h"

namespace {

std::u16string Utf16(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    (void)std::fprintf(stderr, "usage: %s LIBRARY DIR RUNS SECONDS\n", argv[0]);
    return 64;
  }
  void* library = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    // Single-threaded here: nothing else calls the dynamic loader.
    (void)std::fprintf(stderr, "record_stop_latency: %s\n", ::dlerror());  // NOLINT(concurrency-mt-unsafe)
    return 1;
  }
  const auto start = reinterpret_cast<decltype(&SoundRecorderStart)>(::dlsym(library, "SoundRecorderStart"));
  const auto stop = reinterpret_cast<decltype(&SoundRecorderStop)>(::dlsym(library, "SoundRecorderStop"));
  if (start == nullptr || stop == nullptr) {
    (void)std::fprintf(stderr, "record_stop_latency: %s lacks the recorder\n", argv[1]);
    return 1;
  }
  const int runs = std::atoi(argv[3]);
  const auto recording = std::chrono::duration<double>(std::atof(argv[4]));
  for (int run = 0; run < runs; ++run) {
    const std::string path = std::string(argv[2]) + "/stop-" + std::to_string(run) + ".wav";
    if (const std::int32_t result = start(Utf16(path).c_str()); result != TARNWICK_DONE) {
      (void)std::fprintf(stderr, "record_stop_latency: SoundRecorderStart returned %d\n", result);
      (void)stop();
      return 1;
    }
    std::this_thread::sleep_for(recording);
    const auto before = std::chrono::steady_clock::now();
    const std::int32_t seconds = stop();
    const auto after = std::chrono::steady_clock::now();
    (void)std::printf("%.3f %d\n", std::chrono::duration<double, std::milli>(after - before).count(), seconds);
  }
  ::dlclose(library);
  return 0;
}
