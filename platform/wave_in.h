#pragma once
// Audio capture: a waveIn-compatible subset, with the names, records, constants
// and results of the Windows waveform-audio input API, so that the recorder's
// logic reads the same on every platform. The same code (wave_in_queue.cpp)
// gives these semantics on every OS, over ALSA on Linux and over winmm on
// Windows. Only what the recorder uses is there: CALLBACK_FUNCTION, and
// 16-bit PCM, mono or stereo (any other format is WAVERR_BADFORMAT).
//
// Semantics (as Windows defines them):
// - The callback runs on the layer's own capture thread, never while the layer
//   holds a lock, so waveInAddBuffer may be called from inside it.
// - A queued buffer is handed back (WIM_DATA, dwParam1 = the WAVEHDR*) when it
//   is full; dwBytesRecorded says how much was filled.
// - waveInStop hands back the buffer in progress if it holds at least one
//   frame (once, through the callback) and returns only after that callback
//   has returned: after waveInStop returns, no WIM_DATA callback runs. An
//   empty buffer stays queued.
// - waveInUnprepareHeader on a queued buffer returns WAVERR_STILLPLAYING.
// - Sound that arrives while no buffer is queued is dropped.
//
// Where this layer chooses or departs from Windows:
// - A call from inside the callback that would have to wait for the capture
//   thread (start, stop, close) returns WAVERR_SYNC instead of deadlocking.
// - While a handed-back buffer is in the callback, the sound that follows
//   waits in the device (two seconds of it at least) rather than being dropped, so a
//   callback that queues its buffer again loses nothing, even if it then
//   spends a while writing.
// - waveInClose always closes, releasing the device and the capture thread
//   even with buffers still queued (Windows refuses with WAVERR_STILLPLAYING);
//   those buffers come back marked WHDR_DONE, without a callback.
// - No default capture device: MMSYSERR_BADDEVICEID.

#include <cstddef>
#include <cstdint>

namespace tarnwick {

using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using DWORD_PTR = std::uintptr_t;
using MMRESULT = std::uint32_t;

struct WaveInDevice;  // opaque, owned by the capture layer
using HWAVEIN = WaveInDevice*;

// Byte-packed, as the Windows headers declare it: 18 bytes, no tail padding,
// so that cbSize extra bytes would follow it directly.
#pragma pack(push, 1)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18 && offsetof(WAVEFORMATEX, nChannels) == 2 &&
                  offsetof(WAVEFORMATEX, nSamplesPerSec) == 4 && offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8 &&
                  offsetof(WAVEFORMATEX, nBlockAlign) == 12 && offsetof(WAVEFORMATEX, wBitsPerSample) == 14 &&
                  offsetof(WAVEFORMATEX, cbSize) == 16,
              "WAVEFORMATEX is laid out as the Windows headers have it");

struct WAVEHDR {
  char* lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  DWORD dwLoops;
  WAVEHDR* lpNext;
  DWORD_PTR reserved;
};
// Its size is passed with every call and checked: eight 32-bit fields on a
// 32-bit target, pointer-sized fields widened on a 64-bit one.
static_assert(sizeof(void*) != 4 || sizeof(WAVEHDR) == 32, "WAVEHDR is 32 bytes on a 32-bit target");
static_assert(sizeof(void*) != 8 || sizeof(WAVEHDR) == 48, "WAVEHDR is 48 bytes on a 64-bit target");

inline constexpr UINT WAVE_MAPPER = static_cast<UINT>(-1);
inline constexpr WORD WAVE_FORMAT_PCM = 1;
inline constexpr DWORD CALLBACK_FUNCTION = 0x00030000;

// Callback messages.
inline constexpr UINT WIM_OPEN = 0x3BE;
inline constexpr UINT WIM_CLOSE = 0x3BF;
inline constexpr UINT WIM_DATA = 0x3C0;

// WAVEHDR flags.
inline constexpr DWORD WHDR_DONE = 0x00000001;
inline constexpr DWORD WHDR_PREPARED = 0x00000002;
inline constexpr DWORD WHDR_INQUEUE = 0x00000010;

// Results.
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;
inline constexpr MMRESULT WAVERR_SYNC = 35;

// The form of a CALLBACK_FUNCTION callback, passed to waveInOpen as a DWORD_PTR.
using WaveInProc = void (*)(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

MMRESULT waveInOpen(HWAVEIN* device, UINT device_id, const WAVEFORMATEX* format, DWORD_PTR callback, DWORD_PTR instance,
                    DWORD flags);
MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT header_size);
MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT header_size);
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT header_size);
MMRESULT waveInStart(HWAVEIN device);
MMRESULT waveInStop(HWAVEIN device);
MMRESULT waveInClose(HWAVEIN device);

// The capture operations as one record, so that tests can put a scripted
// device in place of the real one.
struct CaptureOps {
  decltype(&waveInOpen) open;
  decltype(&waveInPrepareHeader) prepare_header;
  decltype(&waveInUnprepareHeader) unprepare_header;
  decltype(&waveInAddBuffer) add_buffer;
  decltype(&waveInStart) start;
  decltype(&waveInStop) stop;
  decltype(&waveInClose) close;
};

// The platform's own capture device.
const CaptureOps& NativeCaptureOps();

}  // namespace tarnwick
