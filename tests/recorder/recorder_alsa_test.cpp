// The recorder as a host uses it: the real library, loaded at run time, over
// real ALSA and a paced virtual device whose every sample is known.

#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "small_stack.h"
#include "tarnwick.h"
#include "temp_dir.h"
#include "virtual_audio_env.h"
#include "wav_bytes.h"

namespace {
// Set in a child that exits with a recording running. The leak checker of
// sanitizer builds runs at exit before libraries are finished, and cannot
// stop the capture thread that is still running then.
bool g_exiting_while_recording = false;
}  // namespace

extern "C" int __lsan_is_turned_off() { return g_exiting_while_recording ? 1 : 0; }

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kBlock = 16000;

struct Library {
  void* handle = ::dlopen(TARNWICK_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  decltype(&SoundRecorderStart) start = reinterpret_cast<decltype(start)>(::dlsym(handle, "SoundRecorderStart"));
  decltype(&SoundRecorderStop) stop = reinterpret_cast<decltype(stop)>(::dlsym(handle, "SoundRecorderStop"));
};

// The file is a finished recording of `blocks` seconds: the canonical header,
// then the device's ramp and the padding of a part-filled last block.
void ExpectRampRecording(const Bytes& file, std::int32_t blocks) {
  ASSERT_EQ(file.size(), 44 + kBlock * static_cast<std::size_t>(blocks));
  const Bytes header = MakeWav(1, 16, 8000, Bytes(kBlock * static_cast<std::size_t>(blocks)));
  EXPECT_TRUE(std::equal(header.begin(), header.begin() + 44, file.begin())) << "header";
  ExpectRampThenSilence(file);
}

TEST(RecorderAlsa, RecordsTheDeviceGaplesslyInOneSecondBlocks) {
  TempDir dir;
  Library library;
  ASSERT_NE(library.start, nullptr);
  ASSERT_EQ(library.start(Utf16(dir.File("rec.wav")).c_str()), TARNWICK_DONE);
  std::this_thread::sleep_for(3500ms);
  const std::int32_t seconds = library.stop();
  // 3.5 s of real time: three whole blocks and the part-filled fourth, give or
  // take the device's start-up on a busy machine.
  EXPECT_GE(seconds, 3);
  EXPECT_LE(seconds, 5);
  ExpectRampRecording(ReadFile(dir.File("rec.wav")), seconds);
  EXPECT_EQ(library.stop(), 0) << "a second stop touches nothing";
  ::dlclose(library.handle);
}

// Hosts with small thread stacks: Start and Stop each on a thread of 64 KiB.
// Opening the ALSA device takes most of what they use; the library's own
// frames are a few hundred bytes.
TEST(RecorderAlsa, StartsAndStopsOnSixtyFourKibibyteStacks) {
  TempDir dir;
  Library library;
  const std::u16string path = Utf16(dir.File("rec.wav"));
  std::int32_t started = 0;
  std::int32_t seconds = -1;
  std::size_t start_used = 0;
  std::size_t stop_used = 0;
  ASSERT_TRUE(RunOnSmallStack(
      SmallStackBytes(64 * 1024), [&] { started = library.start(path.c_str()); }, &start_used));
  ASSERT_EQ(started, TARNWICK_DONE);
  std::this_thread::sleep_for(1500ms);
  ASSERT_TRUE(RunOnSmallStack(
      SmallStackBytes(64 * 1024), [&] { seconds = library.stop(); }, &stop_used));
  EXPECT_GE(seconds, 1);
  EXPECT_LE(seconds, 3);
  ExpectRampRecording(ReadFile(dir.File("rec.wav")), seconds);
  std::printf("on 64 KiB stacks: start used %zu bytes, stop %zu\n", start_used, stop_used);
  ::dlclose(library.handle);
}

TEST(RecorderAlsa, NoCaptureDeviceGivesOneAndStopFinishesAnEmptyFile) {
  AlsaConfigOverride no_devices("pcm.default { type hw card 99 }\n");
  TempDir dir;
  Library library;
  const int descriptors = OpenDescriptorCount();
  EXPECT_EQ(library.start(Utf16(dir.File("rec.wav")).c_str()), TARNWICK_RECORD_DEVICE_FAILED);
  EXPECT_EQ(library.stop(), 0);
  EXPECT_EQ(ReadFile(dir.File("rec.wav")), MakeWav(1, 16, 8000, {}));
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  ::dlclose(library.handle);
}

// Runs `body` in a child process and returns its exit status.
template <typename Body>
int InChild(Body body) {
  const pid_t child = ::fork();
  if (child == 0) {
    body();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

TEST(RecorderAlsa, KilledRecordingLeavesAFileThatSoxReads) {
  TempDir dir;
  const std::string path = dir.File("killed.wav");
  const pid_t child = ::fork();
  if (child == 0) {
    Library library;
    if (library.start(Utf16(path).c_str()) != TARNWICK_DONE) ::_exit(1);
    ::pause();
  }
  std::this_thread::sleep_for(3000ms);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child recorded until it was killed";

  const Bytes file = ReadFile(path);
  const auto blocks = static_cast<std::int32_t>((file.size() - 44) / kBlock);
  ASSERT_GE(blocks, 1);
  ExpectRampRecording(file, blocks);
  std::FILE* sox = ::popen(("sox --i -s '" + path + "' 2>&1").c_str(), "r");
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, sox), nullptr);
  EXPECT_EQ(::pclose(sox), 0) << line;
  EXPECT_EQ(std::strtol(line, nullptr, 10), blocks * 8000) << "sox reads every whole block: " << line;
}

TEST(RecorderAlsa, UnloadingOrExitingWhileRecordingFinishesTheFile) {
  TempDir dir;
  const std::string unloaded = dir.File("unloaded.wav");
  const std::string exited = dir.File("exited.wav");
  const int unload_status = InChild([&] {
    Library library;
    if (library.start(Utf16(unloaded).c_str()) != TARNWICK_DONE) ::_exit(1);
    std::this_thread::sleep_for(1500ms);
    ::dlclose(library.handle);
    std::this_thread::sleep_for(500ms);  // a capture thread left behind would crash here
  });
  EXPECT_TRUE(WIFEXITED(unload_status) && WEXITSTATUS(unload_status) == 0) << unload_status;
  const int exit_status = InChild([&] {
    Library library;
    if (library.start(Utf16(exited).c_str()) != TARNWICK_DONE) ::_exit(1);
    std::this_thread::sleep_for(1500ms);
    g_exiting_while_recording = true;
    std::exit(0);
  });
  EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0) << exit_status;
  for (const std::string& path : {unloaded, exited}) {
    const Bytes file = ReadFile(path);
    // 1.5 s: one whole block and the part-filled second, handed back at the finish.
    EXPECT_EQ(file.size(), 44 + 2 * kBlock) << path;
    ExpectRampRecording(file, static_cast<std::int32_t>((file.size() - 44) / kBlock));
  }
}

}  // namespace
}  // namespace tarnwick::test
