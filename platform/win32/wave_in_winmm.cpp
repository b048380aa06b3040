// The capture source on Windows: the system's waveform-audio input (winmm) on
// WAVE_MAPPER, with many small buffers of its own always queued, so that the
// driver never runs out of room between two buffers. The application's buffer
// and callback never reach winmm: the capture thread (wave_in_queue.cpp) waits
// on an event that winmm sets for every finished buffer (CALLBACK_EVENT, so no
// code of ours runs on winmm's threads, where other wave calls and file I/O
// may deadlock), copies the sound out in the order recorded and queues the
// buffer again at once.
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
#include <cstring>
#include <memory>
#include <new>

namespace tarnwick {

namespace {

// 24 buffers of 100 ms: 2.3 s at least queued while the capture thread holds
// one, which is also how long the application's callback may stall before
// sound is lost.
constexpr int kBuffers = 24;
constexpr DWORD kBuffersPerSecond = 10;
constexpr UINT kHeaderSize = sizeof(::WAVEHDR);

}  // namespace

struct CaptureSource {
  ::HWAVEIN device = nullptr;
  HANDLE buffer_done = nullptr;  // set by winmm whenever a buffer is finished
  HANDLE wake = nullptr;         // set by a control call
  HMODULE pinned = nullptr;      // this module, held while the device is open
  int next = 0;                  // the oldest buffer, the next to come back: winmm fills them in queue order
  DWORD taken = 0;               // bytes of buffers[next] already read
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

MMRESULT QueueAll(CaptureSource* source) {
  for (int i = 0; i < kBuffers; ++i) {
    ::WAVEHDR& header = source->headers[i];
    header.lpData = source->data.get() + static_cast<std::size_t>(i) * source->buffer_bytes;
    header.dwBufferLength = source->buffer_bytes;
    MMRESULT result = waveInPrepareHeader(source->device, &header, kHeaderSize);
    if (result == MMSYSERR_NOERROR) result = waveInAddBuffer(source->device, &header, kHeaderSize);
    if (result != MMSYSERR_NOERROR) return result;
  }
  return MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT OpenCaptureSource(const WAVEFORMATEX& wanted, CaptureSource** source) {
  *source = nullptr;
  auto* opened = new (std::nothrow) CaptureSource;
  if (opened == nullptr) return MMSYSERR_NOMEM;
  opened->buffer_bytes = wanted.nAvgBytesPerSec / kBuffersPerSecond / wanted.nBlockAlign * wanted.nBlockAlign;
  opened->data.reset(new (std::nothrow) char[static_cast<std::size_t>(kBuffers) * opened->buffer_bytes]);
  opened->buffer_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  opened->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!opened->data || opened->buffer_done == nullptr || opened->wake == nullptr) {
    Release(opened);
    return MMSYSERR_NOMEM;
  }
  ::WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = wanted.nChannels;
  format.nSamplesPerSec = wanted.nSamplesPerSec;
  format.nAvgBytesPerSec = wanted.nAvgBytesPerSec;
  format.nBlockAlign = wanted.nBlockAlign;
  format.wBitsPerSample = wanted.wBitsPerSample;
  MMRESULT result = waveInOpen(&opened->device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(opened->buffer_done),
                               0, CALLBACK_EVENT);
  if (result != MMSYSERR_NOERROR) opened->device = nullptr;
  if (result == MMSYSERR_NOERROR) result = QueueAll(opened);
  if (result != MMSYSERR_NOERROR) {
    Release(opened);
    return result;
  }
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&OpenCaptureSource),
                     &opened->pinned);
  *source = opened;
  return MMSYSERR_NOERROR;
}

void CloseCaptureSource(CaptureSource* source) { Release(source); }

MMRESULT StartCaptureSource(CaptureSource* source) { return waveInStart(source->device); }

// winmm hands back the buffer in progress, part-filled; the ones before it
// are still to be read.
void StopCaptureSource(CaptureSource* source) { waveInStop(source->device); }

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
  return total;
}

void WaitForCaptureSource(CaptureSource* source) {
  const HANDLE events[2] = {source->buffer_done, source->wake};
  WaitForMultipleObjects(2, events, FALSE, INFINITE);
}

void WakeCaptureSource(CaptureSource* source) { SetEvent(source->wake); }

void EnterCaptureThread() {}

}  // namespace tarnwick
