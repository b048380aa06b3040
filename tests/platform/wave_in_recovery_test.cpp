// Stalls, overruns and suspends, on a device that behaves like sound hardware
// (paced_capture_plugin.c): a ring of fixed size that overruns when the reader
// is late, and frame n since the first start carries RampSample(n), so that
// lost sound shows as a jump. The sound server's device cannot show this: it
// buffers on its own side and never reports an overrun.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "capture_probe.h"
#include "virtual_audio_env.h"

namespace tarnwick::test {
namespace {

using std::chrono::milliseconds;

constexpr DWORD kQuarterSecond = kBlockBytes / 4;  // bytes
constexpr milliseconds kGenerous{5000};

// Where the samples leave the ramp, and where on the ramp they pick up again.
struct Jump {
  std::size_t at;  // first sample off the ramp; samples.size() when none
  std::size_t to;  // ramp index that sample carries
};

Jump FindJump(const std::vector<std::int16_t>& samples) {
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (samples[i] == RampSample(i)) continue;
    std::size_t to = i;
    while (RampSample(to) != samples[i] && to < i + std::size_t{kRecordingRate} * 60) ++to;
    return {i, to};
  }
  return {samples.size(), samples.size()};
}

// True if samples[from...] follow the ramp from ramp index `index` on.
bool FollowsRamp(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t index) {
  for (std::size_t i = from; i < samples.size(); ++i) {
    if (samples[i] != RampSample(index + i - from)) return false;
  }
  return true;
}

void Start(CaptureProbe& probe) {
  ASSERT_EQ(probe.Open(), MMSYSERR_NOERROR);
  ASSERT_EQ(probe.Queue(0), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(probe.device()), MMSYSERR_NOERROR);
}

// The callback runs on the capture thread, so while it stalls (a slow disk)
// nobody reads the device: the ring buffer must hold the sound meanwhile.
TEST(WaveInRecovery, AStallOfNearlyTwoSecondsInTheCallbackLosesNothing) {
  AlsaConfigOverride device(PacedDevice("max_buffer_bytes 64000"));
  CaptureProbe probe(1, kQuarterSecond);
  probe.inside_callback = [](std::size_t index) {
    if (index == 0) std::this_thread::sleep_for(milliseconds(1900));
  };
  Start(probe);
  ASSERT_TRUE(probe.WaitForBlocks(12, kGenerous));
  ASSERT_EQ(probe.Close(), MMSYSERR_NOERROR);
  const auto samples = probe.Samples();
  const Jump jump = FindJump(samples);
  EXPECT_EQ(jump.at, samples.size()) << "sound lost at sample " << jump.at << ", on at " << jump.to;
}

// A stall longer than the ring (here the device allows only one second) loses
// sound, but the stream is repaired and capture goes on by itself.
TEST(WaveInRecovery, AnOverrunLosesTheSoundButNotTheStream) {
  AlsaConfigOverride device(PacedDevice("max_buffer_bytes 16000"));
  CaptureProbe probe(1, kQuarterSecond);
  probe.inside_callback = [](std::size_t index) {
    if (index == 0) std::this_thread::sleep_for(milliseconds(1600));
  };
  Start(probe);
  ASSERT_TRUE(probe.WaitForBlocks(8, kGenerous));
  ASSERT_EQ(probe.Close(), MMSYSERR_NOERROR);
  for (const auto& block : probe.Blocks()) EXPECT_EQ(block.bytes, kQuarterSecond);
  const auto samples = probe.Samples();
  const Jump jump = FindJump(samples);
  ASSERT_LT(jump.at, samples.size()) << "a 1.6 s stall cannot fit a one-second ring";
  EXPECT_GE(jump.at, kQuarterSecond / 2) << "the first buffer was complete before the stall";
  // At least the stall's excess over the ring is gone; what follows is whole.
  EXPECT_GE(jump.to - jump.at, kRecordingRate * 6 / 10 - kRecordingRate / 10);
  EXPECT_TRUE(FollowsRamp(samples, jump.at, jump.to));
}

// A suspended device is resumed, or, when it cannot resume, started afresh;
// either way capture goes on without the application doing anything.
TEST(WaveInRecovery, CaptureGoesOnAfterASuspend) {
  for (const char* resume : {"true", "false"}) {
    SCOPED_TRACE(std::string("resume ") + resume);
    AlsaConfigOverride device(PacedDevice(std::string("suspend_at_ms 1300 resume ") + resume));
    CaptureProbe probe(1, kQuarterSecond);
    Start(probe);
    ASSERT_TRUE(probe.WaitForBlocks(10, kGenerous));
    ASSERT_EQ(probe.Close(), MMSYSERR_NOERROR);
    for (const auto& block : probe.Blocks()) EXPECT_EQ(block.bytes, kQuarterSecond);
    const auto samples = probe.Samples();
    const Jump jump = FindJump(samples);
    EXPECT_GE(jump.at, kRecordingRate) << "the sound before the suspend is whole";
    // The device skips what it did not capture while suspended, and the
    // sound after is whole again.
    ASSERT_LT(jump.at, samples.size()) << "a suspend of the device leaves no trace";
    EXPECT_GT(jump.to, jump.at);
    EXPECT_TRUE(FollowsRamp(samples, jump.at, jump.to)) << "sound lost after the suspend";
  }
}

}  // namespace
}  // namespace tarnwick::test
