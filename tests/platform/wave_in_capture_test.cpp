// Capture from a real device, paced by a real sound server, with known
// samples: the virtual device delivers RampSample(i) for sample i since the
// open. Over ALSA on Linux, over winmm (Wine's ALSA driver) on Windows.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "capture_probe.h"
#include "virtual_ramp.h"
#if !defined(_WIN32)
#include "virtual_audio_env.h"
#endif

namespace tarnwick::test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Generous: the device is paced in real time and the machine may be busy.
constexpr milliseconds kPerBlock{3000};

// Every sample continues the ramp from its start (or from a little further,
// where the test source drops what preceded the start), but for silence the
// test source may insert. Returns how many samples the device had produced by
// the last one.
std::size_t ExpectWholeRamp(const std::vector<std::int16_t>& samples) {
  const RampCheck check = CheckRamp(samples);
  EXPECT_EQ(check.off, samples.size()) << "sample " << check.off << " is off the ramp";
  EXPECT_EQ(check.padding, 0u) << "silence at the end";
  EXPECT_LE(check.inserted, kInsertedSilenceAllowed) << "silence inside";
  return check.skipped + check.followed;
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One buffer, queued again from inside the callback, as the recorder does:
// while it is out, the sound waits in the device for it.
TEST(WaveInCapture, FullBuffersCarryTheDeviceSamplesWithoutGapOrRepeat) {
  CaptureProbe probe;
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
  ExpectWholeRamp({samples.begin(), samples.begin() + 3 * kBlockBytes / kRecordingFrameBytes});
  for (MMRESULT result : probe.RequeueResults()) EXPECT_EQ(result, MMSYSERR_NOERROR);
}

// A stop ends capture at the moment it is called, even while the callback is
// busy with the block before (a slow disk): the buffer queued again comes
// back, before waveInStop returns, with everything captured up to that moment
// and nothing later. Judged by the clock: the device cannot have captured
// more than the time since the start, nor less than a block and the time
// since that block came back. On Linux the tests' paced device, which
// produces by the clock, makes the bounds tight.
TEST(WaveInCapture, StopHandsBackEverythingCapturedUpToItsMoment) {
#if defined(_WIN32)
  const double slack_ms = 150;  // Wine's driver passes sound on in periods of its own
#else
  AlsaConfigOverride device(PacedDevice(""));
  const double slack_ms = 40;
#endif
  CaptureProbe probe;
  std::atomic<std::int64_t> first_back_ns{0};
  probe.inside_callback = [&](std::size_t index) {
    if (index != 0) return;
    first_back_ns = Clock::now().time_since_epoch().count();
    std::this_thread::sleep_for(milliseconds(500));
  };
  ASSERT_EQ(probe.Open(), MMSYSERR_NOERROR);
  ASSERT_EQ(probe.Queue(0), MMSYSERR_NOERROR);
  const auto started = Clock::now();
  ASSERT_EQ(waveInStart(probe.device()), MMSYSERR_NOERROR);
  while (first_back_ns == 0 && Clock::now() < started + kPerBlock) std::this_thread::sleep_for(milliseconds(1));
  ASSERT_NE(first_back_ns.load(), 0) << "no block came back";
  const Clock::time_point first_back{Clock::duration(first_back_ns.load())};
  std::this_thread::sleep_until(first_back + milliseconds(200));
  const auto stopping = Clock::now();
  ASSERT_EQ(waveInStop(probe.device()), MMSYSERR_NOERROR);
  std::printf("waveInStop inside a stalled callback took %.2f ms\n", MillisecondsSince(stopping));
  ASSERT_EQ(probe.BlockCount(), 2u) << "the part-filled buffer comes back before waveInStop returns";
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(probe.BlockCount(), 2u) << "nothing after waveInStop returned";
  ASSERT_EQ(probe.Close(), MMSYSERR_NOERROR);

  const auto produced = static_cast<double>(ExpectWholeRamp(probe.Samples()));
  const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  const double rate_per_ms = kRecordingRate / 1000.0;
  const double at_most = ms(stopping - started) * rate_per_ms;
  const double at_least = kBlockBytes / kRecordingFrameBytes + ms(stopping - first_back) * rate_per_ms;
  EXPECT_LE(produced, at_most + slack_ms * rate_per_ms) << "sound from after the stop";
  EXPECT_GE(produced, at_least - slack_ms * rate_per_ms) << "sound lost at the stop";
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
    CaptureProbe probe;
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
      EXPECT_NE(waveInUnprepareHeader(probe.device(), &probe.header(0), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(probe.Close(), MMSYSERR_NOERROR);
  }
}

}  // namespace
}  // namespace tarnwick::test
