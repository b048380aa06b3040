#pragma once
// Audio capture through the waveIn calls the recorder makes, with the names,
// records and meaning of the Windows waveform-audio input API, so that the
// recorder reads the same on every platform. wave_in.cpp gives them on every
// OS, over ALSA on Linux and over winmm on Windows, for what the recorder
// does and no more: the default device (WAVE_MAPPER), a callback function
// (CALLBACK_FUNCTION), 16-bit PCM, one buffer queued at a time, one start and
// one stop per open.
//
// What a caller may rely on:
// - Every call returns MMSYSERR_NOERROR, or MMSYSERR_ERROR when it failed.
// - The callback runs on the layer's own capture thread, never while the
//   layer holds a lock, so waveInAddBuffer may be called from inside it. It
//   is called with WIM_DATA (dwParam1 the WAVEHDR*) when the queued buffer is
//   full, and with nothing else.
// - While the callback runs, the sound that follows waits in the device, two
//   seconds of it at least: a callback that queues its buffer again before it
//   writes loses nothing.
// - waveInStop ends capture at the moment it is called. What was captured up
//   to then goes into the queued buffer, which comes back through the
//   callback, part-filled, when it holds a frame; waveInStop returns after
//   that callback has, and no callback comes after it.
// - waveInClose releases the device and the capture thread, also while a
//   buffer is queued; prepare and unprepare only mark the buffer.

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
// Eight 32-bit fields on a 32-bit target, pointer-sized fields widened on a
// 64-bit one.
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
