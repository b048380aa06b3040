// The capture source on Windows: the system's waveform-audio input (winmm) on
// WAVE_MAPPER, with buffers of its own of a second, three of them queued, so
// that the driver never runs out of room and the capture thread wakes about
// once a second. The application's buffer and callback never reach winmm: the
// capture thread (wave_in.cpp) waits on an event that winmm sets for every
// finished buffer (CALLBACK_EVENT, so no code of ours runs on winmm's
// threads, where other wave calls and file I/O may deadlock), copies the
// sound out in the order recorded and queues the buffer again at once.
//
// While a device is open the module holds a reference on itself, so that a
// host that unloads the library while a recording runs does not unmap the
// code the capture thread is running; waveInClose, on the host's call into
// the library, gives it back.

// The library's own waveIn names first: winmm's header defines macros of the
// same names (with the same values), so from here on winmm's records are
// spelled with a leading :: and the library's without.
#include "capture_source.h"

#include <windows.h>
// winmm's header needs windows.h's types first.
#include <mmsystem.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace tarnwick {

namespace {

// Three seconds in flight, as the ALSA ring holds, two of them while the
// capture thread copies out of the third; a second each, so that a block of
// one second ends where a buffer does.
constexpr int kBuffers = 3;
constexpr DWORD kBuffersPerSecond = 1;
constexpr UINT kHeaderSize = sizeof(::WAVEHDR);
// How long a stop waits for winmm to hand back the buffer it was filling.
constexpr DWORD kStopWaitMs = 200;

}  // namespace

struct CaptureSource {
  ::HWAVEIN device = nullptr;
  HANDLE buffer_done = nullptr;  // set by winmm whenever a buffer is finished
  HANDLE wake = nullptr;         // set by a control call
  HMODULE pinned = nullptr;      // this module, held while the device is open
  int next = 0;                  // the oldest buffer, the next to come back: winmm fills them in queue order
  DWORD taken = 0;               // bytes of buffers[next] already read
  std::uint64_t read = 0;        // bytes read since the start
  ::WAVEHDR headers[kBuffers] = {};
  std::unique_ptr<char[]> data;  // kBuffers buffers of buffer_bytes
  DWORD buffer_bytes = 0;
};

namespace {

// winmm's thread sets the flag; the barrier keeps the read from being cached.
bool IsDone(const ::WAVEHDR& header) {
  MemoryBarrier();
  return (static_cast<const volatile ::DWORD&>(header.dwFlags) & WHDR_DONE) != 0;
}

// Bytes in finished buffers not yet read.
std::uint64_t Finished(const CaptureSource* source) {
  std::uint64_t bytes = 0;
  for (int i = 0; i < kBuffers; ++i) {
    const ::WAVEHDR& header = source->headers[(source->next + i) % kBuffers];
    if (!IsDone(header)) break;
    bytes += header.dwBytesRecorded - (i == 0 ? source->taken : 0);
  }
  return bytes;
}

void Release(CaptureSource* source) {
  if (source->device != nullptr) {
    waveInReset(source->device);  // every buffer comes back done
    for (::WAVEHDR& header : source->headers) {
      if ((header.dwFlags & WHDR_PREPARED) != 0) waveInUnprepareHeader(source->device, &header, kHeaderSize);
    }
    waveInClose(source->device);
  }
  if (source->buffer_done != nullptr) CloseHandle(source->buffer_done);
  if (source->wake != nullptr) CloseHandle(source->wake);
  HMODULE pinned = source->pinned;
  delete source;
  if (pinned != nullptr) FreeLibrary(pinned);
}

bool QueueAll(CaptureSource* source) {
  for (int i = 0; i < kBuffers; ++i) {
    ::WAVEHDR& header = source->headers[i];
    header.lpData = source->data.get() + static_cast<std::size_t>(i) * source->buffer_bytes;
    header.dwBufferLength = source->buffer_bytes;
    if (waveInPrepareHeader(source->device, &header, kHeaderSize) != MMSYSERR_NOERROR ||
        waveInAddBuffer(source->device, &header, kHeaderSize) != MMSYSERR_NOERROR) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool OpenCaptureSource(const WAVEFORMATEX& wanted, CaptureSource** source) {
  *source = nullptr;
  auto* opened = new (std::nothrow) CaptureSource;
  if (opened == nullptr) return false;
  opened->buffer_bytes = wanted.nAvgBytesPerSec / kBuffersPerSecond / wanted.nBlockAlign * wanted.nBlockAlign;
  opened->data.reset(new (std::nothrow) char[static_cast<std::size_t>(kBuffers) * opened->buffer_bytes]);
  opened->buffer_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  opened->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ::WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = wanted.nChannels;
  format.nSamplesPerSec = wanted.nSamplesPerSec;
  format.nAvgBytesPerSec = wanted.nAvgBytesPerSec;
  format.nBlockAlign = wanted.nBlockAlign;
  format.wBitsPerSample = wanted.wBitsPerSample;
  if (!opened->data || opened->buffer_done == nullptr || opened->wake == nullptr ||
      waveInOpen(&opened->device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(opened->buffer_done), 0,
                 CALLBACK_EVENT) != MMSYSERR_NOERROR) {
    opened->device = nullptr;
    Release(opened);
    return false;
  }
  if (!QueueAll(opened)) {
    Release(opened);
    return false;
  }
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&OpenCaptureSource),
                     &opened->pinned);
  *source = opened;
  return true;
}

void CloseCaptureSource(CaptureSource* source) { Release(source); }

bool StartCaptureSource(CaptureSource* source) { return waveInStart(source->device) == MMSYSERR_NOERROR; }

// winmm hands back the buffer it was filling, part-filled, perhaps a moment
// after waveInStop returns: its position says how much that is to wait for.
std::size_t StopCaptureSource(CaptureSource* source) {
  waveInStop(source->device);
  ::MMTIME position = {};
  position.wType = TIME_BYTES;
  std::uint64_t left = Finished(source);
  if (waveInGetPosition(source->device, &position, sizeof position) == MMSYSERR_NOERROR &&
      position.wType == TIME_BYTES && position.u.cb > source->read) {
    left = position.u.cb - source->read;
    const ULONGLONG give_up = GetTickCount64() + kStopWaitMs;
    while (Finished(source) < left && GetTickCount64() < give_up) {
      WaitForSingleObject(source->buffer_done, kStopWaitMs);
    }
    left = std::min(left, Finished(source));
  }
  return static_cast<std::size_t>(left);
}

std::size_t ReadCaptureSource(CaptureSource* source, char* into, std::size_t capacity) {
  std::size_t total = 0;
  while (total < capacity) {
    ::WAVEHDR& header = source->headers[source->next];
    if (!IsDone(header)) break;
    const std::size_t count = std::min<std::size_t>(header.dwBytesRecorded - source->taken, capacity - total);
    std::memcpy(into + total, header.lpData + source->taken, count);
    total += count;
    source->taken += static_cast<DWORD>(count);
    if (source->taken == header.dwBytesRecorded) {
      source->taken = 0;
      source->next = (source->next + 1) % kBuffers;
      // Back in the queue at once, from this thread (not winmm's).
      waveInAddBuffer(source->device, &header, kHeaderSize);
    }
  }
  source->read += total;
  return total;
}

void WaitForCaptureSource(CaptureSource* source, bool capturing) {
  const HANDLE events[2] = {source->wake, source->buffer_done};
  WaitForMultipleObjects(capturing ? 2 : 1, events, FALSE, INFINITE);
}

void WakeCaptureSource(CaptureSource* source) { SetEvent(source->wake); }

// Named where the system lets a thread be named (Windows 10 and later, Wine),
// so that tools listing threads show which one records.
void EnterCaptureThread() {
  using Describe = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const auto describe = reinterpret_cast<Describe>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (describe != nullptr) describe(GetCurrentThread(), L"tarnwick-rec");
}

}  // namespace tarnwick
