// The recorder's threads under load: many recordings stopped at random
// moments, and host threads racing each other to start and stop. Meant to run
// under ThreadSanitizer as well; every file must end finished and true.

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "recorder.h"
#include "recorder_state.h"
#include "tarnwick.h"
#include "temp_dir.h"
#include "threaded_capture.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

// The file's header states exactly what it holds.
void ExpectFinished(const std::string& path) {
  const Bytes file = ReadFile(path);
  ASSERT_GE(file.size(), 44u) << path;
  std::uint32_t riff = 0;
  std::uint32_t data = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    riff |= static_cast<std::uint32_t>(file[4 + i]) << (8 * i);
    data |= static_cast<std::uint32_t>(file[40 + i]) << (8 * i);
  }
  EXPECT_EQ(riff + 8u, file.size()) << path;
  EXPECT_EQ(data + 44u, file.size()) << path;
  EXPECT_EQ(data % kBlockBytes, 0u) << path;
}

TEST(RecorderStress, TwoHundredRecordingsStoppedAtRandomMoments) {
  TempDir dir;
  SetFillPeriod(1ms);
  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) {
    const std::string path = dir.File("rec" + std::to_string(i % 4) + ".wav");
    ASSERT_EQ(StartRecording(NativeFileOps(), ThreadedCaptureOps(), Utf16(path).c_str()), TARNWICK_DONE);
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 8000));
    const std::int32_t seconds = StopRecording();
    ExpectFinished(path);
    EXPECT_EQ(ReadFile(path).size(), 44u + kBlockBytes * static_cast<std::uint32_t>(seconds));
  }
}

TEST(RecorderStress, HostThreadsStartingAndStoppingAtOnce) {
  TempDir dir;
  SetFillPeriod(1ms);
  std::vector<std::thread> hosts;
  for (int t = 0; t < 2; ++t) {
    hosts.emplace_back([&dir, t] {
      std::mt19937 rng(static_cast<unsigned>(t));
      for (int i = 0; i < 50; ++i) {
        const std::string path = dir.File("host" + std::to_string(t) + "-" + std::to_string(i) + ".wav");
        StartRecording(NativeFileOps(), ThreadedCaptureOps(), Utf16(path).c_str());
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
        StopRecording();
      }
    });
  }
  for (std::thread& host : hosts) host.join();
  EXPECT_EQ(StopRecording(), 0);
  for (int t = 0; t < 2; ++t) {
    for (int i = 0; i < 50; ++i)
      ExpectFinished(dir.File("host" + std::to_string(t) + "-" + std::to_string(i) + ".wav"));
  }
}

}  // namespace
}  // namespace tarnwick::test
