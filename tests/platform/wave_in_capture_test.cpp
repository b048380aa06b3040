// Capture from a real device, paced by a real sound server, with known
// samples: the virtual device delivers RampSample(i) for sample i since the
// open. Over ALSA on Linux, over winmm (Wine's ALSA driver) on Windows.

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "capture_probe.h"
#include "virtual_ramp.h"

namespace tarnwick::test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Generous: the device is paced in real time and the machine may be busy.
constexpr milliseconds kPerBlock{3000};

// Every sample of one run of capture continues the ramp from `from` (or from
// a little further, where the test source drops what preceded the start), but
// for silence the test source may insert. Returns where the ramp stands next.
std::size_t ExpectWholeRamp(const std::vector<std::int16_t>& samples, std::size_t from = 0,
                            std::size_t droppable = kDroppedAtStartAllowed) {
  const RampCheck check = CheckRamp(samples, from, droppable);
  EXPECT_EQ(check.off, samples.size()) << "sample " << check.off << " is off the ramp";
  EXPECT_EQ(check.padding, 0u) << "silence at the end";
  EXPECT_LE(check.inserted, kInsertedSilenceAllowed) << "silence inside";
  return from + check.skipped + check.followed;
}

double ProcessCpuMilliseconds() {
#if defined(_WIN32)
  FILETIME created{};
  FILETIME exited{};
  FILETIME kernel{};
  FILETIME user{};
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {  // in units of 100 ns
    return static_cast<double>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 10000.0;
  };
  return ms(kernel) + ms(user);
#else
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
  };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
#endif
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One buffer, queued again from inside the callback, as the recorder does:
// while it is out, the sound waits in the device for it.
TEST(WaveInCapture, FullBuffersCarryTheDeviceSamplesWithoutGapOrRepeat) {
  CaptureProbe probe(1);
  ASSERT_EQ(probe.Open(), MMSYSERR_NOERROR);
  ASSERT_EQ(probe.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(probe.device()), MMSYSERR_NOERROR);
  ASSERT_TRUE(probe.WaitForBlocks(3, 3 * kPerBlock));
  ASSERT_EQ(waveInStop(probe.device()), MMSYSERR_NOERROR);
  ASSERT_EQ(probe.Close(), MMSYSERR_NOERROR);

  const auto blocks = probe.Blocks();
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(blocks[i].bytes, kBlockBytes) << "block " << i;
    EXPECT_EQ(blocks[i].flags & (WHDR_DONE | WHDR_INQUEUE | WHDR_PREPARED), WHDR_DONE | WHDR_PREPARED) << "block " << i;
  }
  const auto samples = probe.Samples();
  ExpectWholeRamp(samples);
  for (MMRESULT result : probe.RequeueResults()) EXPECT_EQ(result, MMSYSERR_NOERROR);
  const auto messages = probe.Messages();
  EXPECT_EQ(messages.front(), WIM_OPEN);
  EXPECT_EQ(messages.back(), WIM_CLOSE);
}

// While no buffer is queued the sound is dropped, as it comes: the thread
// neither spins nor keeps stale sound for the next buffer.
TEST(WaveInCapture, SoundWithNoBufferQueuedIsDroppedWithoutSpinning) {
  CaptureProbe probe(1);
  ASSERT_EQ(probe.Open(), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(probe.device()), MMSYSERR_NOERROR);
  const double cpu_before = ProcessCpuMilliseconds();
  std::this_thread::sleep_for(milliseconds(500));
  const double cpu_used = ProcessCpuMilliseconds() - cpu_before;
  ASSERT_EQ(probe.Queue(0), MMSYSERR_NOERROR);
  ASSERT_TRUE(probe.WaitForBlocks(1, kPerBlock));
  ASSERT_EQ(probe.Close(), MMSYSERR_NOERROR);

  EXPECT_LT(cpu_used, 250.0) << "the capture thread spins while no buffer is queued";
  const auto samples = probe.Samples();
  ASSERT_EQ(samples.size(), kBlockBytes / 2);
  std::size_t skipped = 0;
  while (skipped < 65536 && RampSample(skipped) != samples[0]) ++skipped;
  EXPECT_GE(skipped, 3000u) << "about half a second of sound had no buffer to go to";
  EXPECT_LE(skipped, 8000u);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(samples[i], RampSample(skipped + i)) << "sample " << i;
  }
}

TEST(WaveInCapture, StopHandsBackThePartialBufferOnceAndCaptureCanStartAgain) {
  CaptureProbe probe(2);
  ASSERT_EQ(probe.Open(), MMSYSERR_NOERROR);
  ASSERT_EQ(probe.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(probe.Queue(1), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(probe.device()), MMSYSERR_NOERROR);
  ASSERT_TRUE(probe.WaitForBlocks(1, kPerBlock));
  std::this_thread::sleep_for(milliseconds(300));

  const auto stopping = Clock::now();
  ASSERT_EQ(waveInStop(probe.device()), MMSYSERR_NOERROR);
  const double stop_ms = MillisecondsSince(stopping);
  std::printf("waveInStop while capturing took %.2f ms\n", stop_ms);
  EXPECT_LT(stop_ms, 500.0);

  ASSERT_EQ(probe.BlockCount(), 2u) << "the partial buffer comes back before waveInStop returns";
  const auto partial = probe.Blocks()[1];
  EXPECT_GT(partial.bytes, 0u);
  EXPECT_LT(partial.bytes, kBlockBytes);
  EXPECT_EQ(partial.bytes % 2, 0u);
  EXPECT_NE(partial.flags & WHDR_DONE, 0u);

  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(waveInStop(probe.device()), MMSYSERR_NOERROR);
  EXPECT_EQ(probe.BlockCount(), 2u) << "nothing after waveInStop returned";

  // Both buffers are queued again (by the callback) and empty; capture goes
  // on where it stopped.
  const auto first_run = probe.Samples();
  const std::size_t next = ExpectWholeRamp(first_run);
  ASSERT_EQ(waveInStart(probe.device()), MMSYSERR_NOERROR);
  ASSERT_TRUE(probe.WaitForBlocks(3, kPerBlock));
  ASSERT_EQ(probe.Close(), MMSYSERR_NOERROR);
  EXPECT_EQ(probe.Blocks()[2].bytes, kBlockBytes);
  const auto samples = probe.Samples();
  ExpectWholeRamp({samples.begin() + static_cast<std::ptrdiff_t>(first_run.size()), samples.end()}, next,
                  kDroppedAtRestartAllowed);
}

// Nothing recorded, nothing handed back: an empty buffer stays queued.
TEST(WaveInCapture, StopHandsBackNothingWhenNoFrameWasRecorded) {
  struct Case {
    const char* name;
    bool queue_buffer;
    bool start;
  };
  for (const Case& c :
       {Case{"started with an empty queue", false, true}, Case{"buffer queued, never started", true, false}}) {
    SCOPED_TRACE(c.name);
    CaptureProbe probe(1);
    ASSERT_EQ(probe.Open(), MMSYSERR_NOERROR);
    if (c.queue_buffer) {
      ASSERT_EQ(probe.Queue(0), MMSYSERR_NOERROR);
    }
    if (c.start) {
      ASSERT_EQ(waveInStart(probe.device()), MMSYSERR_NOERROR);
      std::this_thread::sleep_for(milliseconds(300));
    }
    EXPECT_EQ(waveInStop(probe.device()), MMSYSERR_NOERROR);
    EXPECT_EQ(probe.BlockCount(), 0u);
    if (c.queue_buffer) {
      EXPECT_NE(probe.header(0).dwFlags & WHDR_INQUEUE, 0u);
      EXPECT_EQ(waveInUnprepareHeader(probe.device(), &probe.header(0), sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    }
    EXPECT_EQ(probe.Close(), MMSYSERR_NOERROR);
  }
}

// From inside the callback, the calls that wait for the capture thread would
// wait for themselves: they fail at once, and the device goes on working.
TEST(WaveInCapture, StartStopAndCloseFromInsideTheCallbackFailWithoutDeadlock) {
  CaptureProbe probe(2);
  // Written on the capture thread, read here.
  std::atomic<MMRESULT> inner_start = MMSYSERR_NOERROR;
  std::atomic<MMRESULT> inner_stop = MMSYSERR_NOERROR;
  std::atomic<MMRESULT> inner_close = MMSYSERR_NOERROR;
  probe.inside_callback = [&](std::size_t index) {
    if (index != 0) return;
    inner_start = waveInStart(probe.device());
    inner_stop = waveInStop(probe.device());
    inner_close = waveInClose(probe.device());
  };
  ASSERT_EQ(probe.Open(), MMSYSERR_NOERROR);
  ASSERT_EQ(probe.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(probe.Queue(1), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(probe.device()), MMSYSERR_NOERROR);
  ASSERT_TRUE(probe.WaitForBlocks(1, kPerBlock));
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(inner_start.load(), WAVERR_SYNC);
  EXPECT_EQ(inner_stop.load(), WAVERR_SYNC);
  EXPECT_EQ(inner_close.load(), WAVERR_SYNC);
  EXPECT_EQ(waveInStop(probe.device()), MMSYSERR_NOERROR);
  EXPECT_EQ(probe.Close(), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace tarnwick::test
