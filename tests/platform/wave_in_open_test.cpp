// Opening and closing: devices that are missing or refuse to open, and that
// nothing is left behind or printed.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "capture_probe.h"
#include "virtual_audio_env.h"

namespace tarnwick::test {
namespace {

using std::chrono::milliseconds;

void IgnoreMessage(HWAVEIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}
const DWORD_PTR kIgnore = reinterpret_cast<DWORD_PTR>(&IgnoreMessage);

// The tests' own hardware-like device, told to refuse to open with `error`.
std::string RefusingDevice(int error) { return PacedDevice(std::string("open_error ").append(std::to_string(error))); }

// Each case stands for a machine whose default capture device is missing or
// unusable, or for a format no source takes: the open fails, leaves no
// descriptor behind and prints nothing.
TEST(WaveInOpen, AMissingOrRefusingDeviceFailsQuietlyAndLeaksNothing) {
  struct Case {
    const char* name;
    std::string config;
    WORD format_tag;
    WORD bits;
  };
  const Case cases[] = {
      {"no default PCM at all", "pcm.other { type null }\n", WAVE_FORMAT_PCM, 16},
      {"a sound card that is not there", "pcm.!default { type hw card 5 }\n", WAVE_FORMAT_PCM, 16},
      {"playback only", "pcm.!default { type asym playback.pcm { type null } }\n", WAVE_FORMAT_PCM, 16},
      {"sound server not running", "pcm.!default { type pulse server \"unix:/nonexistent/tarnwick\" }\n",
       WAVE_FORMAT_PCM, 16},
      {"device busy", RefusingDevice(EBUSY), WAVE_FORMAT_PCM, 16},
      {"device vanished", RefusingDevice(ENODEV), WAVE_FORMAT_PCM, 16},
      {"input/output error", RefusingDevice(EIO), WAVE_FORMAT_PCM, 16},
      {"float samples", PacedDevice(""), 3, 32},
      {"8-bit samples", PacedDevice(""), WAVE_FORMAT_PCM, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AlsaConfigOverride config(c.config);
    WAVEFORMATEX format = RecorderFormat();
    format.wFormatTag = c.format_tag;
    format.wBitsPerSample = c.bits;
    const int descriptors = OpenDescriptorCount();
    HWAVEIN device = nullptr;
    MMRESULT result = MMSYSERR_NOERROR;
    const std::string printed =
        StderrOf([&] { result = waveInOpen(&device, WAVE_MAPPER, &format, kIgnore, 0, CALLBACK_FUNCTION); });
    EXPECT_EQ(result, MMSYSERR_ERROR);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    if (device != nullptr) waveInClose(device);
  }
}

// Unlike Windows, close never refuses: the device and the thread go even with
// a buffer queued and capture running, and the device can be opened again.
TEST(WaveInOpen, CloseWithABufferQueuedReleasesTheDevice) {
  const int descriptors = OpenDescriptorCount();
  {
    CaptureProbe probe(1);
    ASSERT_EQ(probe.Open(), MMSYSERR_NOERROR);
    ASSERT_EQ(probe.Queue(0), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(probe.device()), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_EQ(probe.Close(), MMSYSERR_NOERROR);
    EXPECT_EQ(probe.header(0).dwFlags & WHDR_INQUEUE, 0u);
    EXPECT_EQ(probe.BlockCount(), 0u);
  }
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  CaptureProbe again;
  EXPECT_EQ(again.Open(), MMSYSERR_NOERROR);
  EXPECT_EQ(again.Close(), MMSYSERR_NOERROR);
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

}  // namespace
}  // namespace tarnwick::test
