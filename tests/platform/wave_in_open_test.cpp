// Opening, closing and buffer bookkeeping: argument checks, devices that are
// missing or refuse to open, and that nothing is left behind or printed.

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

WAVEFORMATEX Pcm(WORD channels, DWORD rate, WORD bits) {
  const WORD block = static_cast<WORD>(channels * bits / 8);
  return {WAVE_FORMAT_PCM, channels, rate, rate * block, block, bits, 0};
}

void IgnoreMessage(HWAVEIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}
const DWORD_PTR kIgnore = reinterpret_cast<DWORD_PTR>(&IgnoreMessage);

TEST(WaveInOpen, RefusesBadArgumentsBeforeTouchingAnyDevice) {
  struct Case {
    const char* name;
    bool null_device;
    UINT device_id;
    WAVEFORMATEX format;
    DWORD_PTR callback;
    DWORD flags;
    MMRESULT expected;
  };
  const WAVEFORMATEX good = RecorderFormat();
  auto with = [&](auto change) {
    WAVEFORMATEX format = good;
    change(format);
    return format;
  };
  const Case cases[] = {
      {"null device pointer", true, WAVE_MAPPER, good, kIgnore, CALLBACK_FUNCTION, MMSYSERR_INVALPARAM},
      {"device 1", false, 1, good, kIgnore, CALLBACK_FUNCTION, MMSYSERR_BADDEVICEID},
      {"window callback", false, WAVE_MAPPER, good, kIgnore, 0x00010000, MMSYSERR_INVALFLAG},
      {"format query flag", false, WAVE_MAPPER, good, kIgnore, CALLBACK_FUNCTION | 1, MMSYSERR_INVALFLAG},
      {"no callback function", false, WAVE_MAPPER, good, 0, CALLBACK_FUNCTION, MMSYSERR_INVALPARAM},
      {"float samples", false, WAVE_MAPPER, with([](auto& f) { f.wFormatTag = 3; }), kIgnore, CALLBACK_FUNCTION,
       WAVERR_BADFORMAT},
      {"no channels", false, WAVE_MAPPER, Pcm(0, 8000, 16), kIgnore, CALLBACK_FUNCTION, WAVERR_BADFORMAT},
      {"three channels", false, WAVE_MAPPER, Pcm(3, 8000, 16), kIgnore, CALLBACK_FUNCTION, WAVERR_BADFORMAT},
      {"24-bit", false, WAVE_MAPPER, Pcm(1, 8000, 24), kIgnore, CALLBACK_FUNCTION, WAVERR_BADFORMAT},
      {"rate 0", false, WAVE_MAPPER, Pcm(1, 0, 16), kIgnore, CALLBACK_FUNCTION, WAVERR_BADFORMAT},
      {"block align off", false, WAVE_MAPPER, with([](auto& f) { f.nBlockAlign = 4; }), kIgnore, CALLBACK_FUNCTION,
       WAVERR_BADFORMAT},
      {"byte rate off", false, WAVE_MAPPER, with([](auto& f) { f.nAvgBytesPerSec = 8000; }), kIgnore, CALLBACK_FUNCTION,
       WAVERR_BADFORMAT},
      {"8-bit", false, WAVE_MAPPER, Pcm(1, 8000, 8), kIgnore, CALLBACK_FUNCTION, WAVERR_BADFORMAT},
      {"no callback at all", false, WAVE_MAPPER, good, 0, 0, MMSYSERR_INVALFLAG},
  };
  for (const Case& c : cases) {
    HWAVEIN device = nullptr;
    EXPECT_EQ(waveInOpen(c.null_device ? nullptr : &device, c.device_id, &c.format, c.callback, 0, c.flags), c.expected)
        << c.name;
    EXPECT_EQ(device, nullptr) << c.name;
  }
  HWAVEIN device = nullptr;
  EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, nullptr, kIgnore, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
}

TEST(WaveInOpen, EveryCallRefusesANullHandle) {
  const CaptureOps& ops = NativeCaptureOps();
  WAVEHDR header{};
  EXPECT_EQ(ops.prepare_header(nullptr, &header, sizeof header), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(ops.unprepare_header(nullptr, &header, sizeof header), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(ops.add_buffer(nullptr, &header, sizeof header), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(ops.start(nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(ops.stop(nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(ops.close(nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(ops.open, &waveInOpen);
}

// The tests' own hardware-like device, told to refuse to open with `error`.
std::string RefusingDevice(int error) { return PacedDevice(std::string("open_error ").append(std::to_string(error))); }

// Each configuration stands for a machine whose default capture device is
// missing or unusable: the open fails with the matching result, leaves no
// descriptor behind and prints nothing.
TEST(WaveInOpen, AMissingOrRefusingDeviceFailsQuietlyAndLeaksNothing) {
  struct Case {
    const char* name;
    std::string config;
    MMRESULT expected;
  };
  const Case cases[] = {
      {"no default PCM at all", "pcm.other { type null }\n", MMSYSERR_BADDEVICEID},
      {"a sound card that is not there", "pcm.!default { type hw card 5 }\n", MMSYSERR_BADDEVICEID},
      {"playback only", "pcm.!default { type asym playback.pcm { type null } }\n", MMSYSERR_ERROR},
      {"sound server not running", "pcm.!default { type pulse server \"unix:/nonexistent/tarnwick\" }\n",
       MMSYSERR_ERROR},
      {"device busy", RefusingDevice(EBUSY), MMSYSERR_ALLOCATED},
      {"device vanished", RefusingDevice(ENODEV), MMSYSERR_BADDEVICEID},
      {"out of memory", RefusingDevice(ENOMEM), MMSYSERR_NOMEM},
      {"input/output error", RefusingDevice(EIO), MMSYSERR_ERROR},
  };
  const WAVEFORMATEX format = RecorderFormat();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AlsaConfigOverride config(c.config);
    const int descriptors = OpenDescriptorCount();
    HWAVEIN device = nullptr;
    MMRESULT result = MMSYSERR_NOERROR;
    const std::string printed =
        StderrOf([&] { result = waveInOpen(&device, WAVE_MAPPER, &format, kIgnore, 0, CALLBACK_FUNCTION); });
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    if (device != nullptr) waveInClose(device);
  }
}

TEST(WaveInOpen, OpensTheRecordingFormatWithOpenAndCloseNotices) {
  CaptureProbe probe;
  EXPECT_EQ(probe.Open(), MMSYSERR_NOERROR);
  EXPECT_EQ(probe.Close(), MMSYSERR_NOERROR);
  EXPECT_EQ(probe.Messages(), (std::vector<UINT>{WIM_OPEN, WIM_CLOSE}));
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

TEST(WaveInOpen, HeadersFollowTheirPreparedAndQueuedStates) {
  CaptureProbe probe(2);
  ASSERT_EQ(probe.Open(), MMSYSERR_NOERROR);
  HWAVEIN device = probe.device();
  WAVEHDR& queued = probe.header(0);
  WAVEHDR& idle = probe.header(1);
  ASSERT_EQ(probe.Queue(0), MMSYSERR_NOERROR);
  char byte = 0;
  WAVEHDR tiny{&byte, 1, 0, 0, 0, 0, nullptr, 0};
  ASSERT_EQ(waveInPrepareHeader(device, &tiny, sizeof tiny), MMSYSERR_NOERROR);

  struct Case {
    const char* name;
    MMRESULT (*call)(HWAVEIN, WAVEHDR*, UINT);
    WAVEHDR* header;
    UINT size;
    MMRESULT expected;
  };
  const Case cases[] = {
      {"unprepare a queued buffer", &waveInUnprepareHeader, &queued, sizeof(WAVEHDR), WAVERR_STILLPLAYING},
      {"prepare a queued buffer", &waveInPrepareHeader, &queued, sizeof(WAVEHDR), WAVERR_STILLPLAYING},
      {"queue a queued buffer", &waveInAddBuffer, &queued, sizeof(WAVEHDR), WAVERR_STILLPLAYING},
      {"queue an unprepared buffer", &waveInAddBuffer, &idle, sizeof(WAVEHDR), WAVERR_UNPREPARED},
      {"queue a buffer shorter than a frame", &waveInAddBuffer, &tiny, sizeof(WAVEHDR), MMSYSERR_INVALPARAM},
      {"queue a null header", &waveInAddBuffer, nullptr, sizeof(WAVEHDR), MMSYSERR_INVALPARAM},
      {"prepare with a short header size", &waveInPrepareHeader, &idle, sizeof(WAVEHDR) - 1, MMSYSERR_INVALPARAM},
      {"unprepare an unprepared buffer", &waveInUnprepareHeader, &idle, sizeof(WAVEHDR), MMSYSERR_NOERROR},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call(device, c.header, c.size), c.expected) << c.name;
  EXPECT_EQ(queued.dwFlags & (WHDR_PREPARED | WHDR_INQUEUE), WHDR_PREPARED | WHDR_INQUEUE);
  EXPECT_EQ(idle.dwFlags & WHDR_PREPARED, 0u);
  EXPECT_EQ(waveInUnprepareHeader(device, &tiny, sizeof tiny), MMSYSERR_NOERROR);
  EXPECT_EQ(tiny.dwFlags & WHDR_PREPARED, 0u);
}

}  // namespace
}  // namespace tarnwick::test
