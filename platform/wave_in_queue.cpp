// The waveIn functions, the same on every OS: argument checks, the queue of
// WAVEHDRs and their flags, and the capture thread that fills the queued
// buffers from the OS's capture source (capture_source.h) and hands them back
// through the application's callback.
//
// Threads: the capture thread is the only one that reads the source and calls
// back. Each pass of it takes the lock, does the work that needs the queue,
// releases the lock, and only then calls the application back, so that the
// callback may queue buffers again. Start, stop and close are requests that
// the thread carries out; the caller waits for the answer, which for stop
// comes only after the callbacks the stop caused have returned.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "capture_source.h"
#include "wave_in.h"

namespace tarnwick {

enum class CaptureRequest { kNone, kStart, kStop, kQuit };

struct WaveInDevice {
  // Fixed at open.
  WaveInProc callback = nullptr;
  DWORD_PTR instance = 0;
  DWORD frame_bytes = 0;
  CaptureSource* source = nullptr;
  std::thread thread;

  // One control call (start, stop, close) at a time, whatever thread makes it.
  std::mutex control;

  // Guards everything below and the dwFlags, dwBytesRecorded and lpNext of
  // every queued WAVEHDR.
  std::mutex lock;
  std::condition_variable answered;
  WAVEHDR* head = nullptr;  // the buffer being filled; the queue runs through lpNext
  WAVEHDR* tail = nullptr;
  DWORD filled = 0;  // bytes of `head` already recorded
  CaptureRequest request = CaptureRequest::kNone;
  MMRESULT answer = MMSYSERR_NOERROR;
  bool ready = false;     // WIM_OPEN has been delivered
  bool running = false;   // between a start and a stop
  bool draining = false;  // a stop is handing back what was captured before it

  char scratch[4096];  // where sound goes while no buffer is queued
};

namespace {

thread_local const WaveInDevice* t_serving = nullptr;

// True on the capture thread of `device`, including inside its callbacks:
// there, a call that waits for that thread would wait for itself.
bool OnCaptureThreadOf(const WaveInDevice* device) { return t_serving == device; }

// 16-bit integer PCM whose sizes agree with each other: what every capture
// source takes.
bool IsCapturableFormat(const WAVEFORMATEX& f) {
  return f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 16 && f.nChannels >= 1 && f.nChannels <= 2 &&
         f.nSamplesPerSec > 0 && f.nBlockAlign == f.nChannels * 2 &&
         f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

MMRESULT CheckHeader(const WAVEHDR* header, UINT header_size) {
  return header == nullptr || header_size < sizeof(WAVEHDR) ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}

void Notify(WaveInDevice* device, UINT message, DWORD_PTR param1) {
  device->callback(device, message, device->instance, param1, 0);
}

// Takes the head buffer off the queue as done, with what it holds.
WAVEHDR* TakeHead(WaveInDevice* device) {
  WAVEHDR* header = device->head;
  device->head = header->lpNext;
  if (device->head == nullptr) device->tail = nullptr;
  header->lpNext = nullptr;
  header->dwBytesRecorded = device->filled;
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  device->filled = 0;
  return header;
}

// Moves what the source has into the queued buffers and returns the first one
// that is full, or null once the source has nothing more for now. With no
// buffer queued, the sound is dropped as it comes.
WAVEHDR* Fill(WaveInDevice* device) {
  for (;;) {
    WAVEHDR* header = device->head;
    char* into = device->scratch;
    std::size_t room = sizeof device->scratch;
    if (header != nullptr) {
      into = header->lpData + device->filled;
      room = header->dwBufferLength - device->filled;
    }
    const std::size_t got = ReadCaptureSource(device->source, into, room - room % device->frame_bytes);
    if (got == 0) return nullptr;
    if (header == nullptr) continue;
    device->filled += static_cast<DWORD>(got);
    if (header->dwBufferLength - device->filled < device->frame_bytes) return TakeHead(device);
  }
}

MMRESULT StartCapture(WaveInDevice* device) {
  if (device->running) return MMSYSERR_NOERROR;
  const MMRESULT result = StartCaptureSource(device->source);
  device->running = result == MMSYSERR_NOERROR;
  device->draining = false;
  return result;
}

// One step of a stop, repeated until it answers: first every buffer filled by
// what was captured before the stop, then the buffer in progress if it holds
// anything. An empty buffer stays queued for the next start.
WAVEHDR* StopStep(WaveInDevice* device, bool* answer) {
  if (device->running) {
    StopCaptureSource(device->source);
    device->running = false;
    device->draining = true;
  }
  if (device->draining) {
    if (WAVEHDR* full = Fill(device); full != nullptr) return full;
    device->draining = false;
  }
  *answer = true;
  device->answer = MMSYSERR_NOERROR;
  return device->head != nullptr && device->filled >= device->frame_bytes ? TakeHead(device) : nullptr;
}

// Gives every queued buffer back without a callback, marked done with what it
// holds.
void ReturnQueued(WaveInDevice* device) {
  std::lock_guard<std::mutex> hold(device->lock);
  for (WAVEHDR* header = device->head; header != nullptr;) {
    WAVEHDR* next = header->lpNext;
    header->lpNext = nullptr;
    header->dwBytesRecorded = header == device->head ? device->filled : 0;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    header = next;
  }
  device->head = device->tail = nullptr;
  device->filled = 0;
  if (device->running) StopCaptureSource(device->source);
  device->running = false;
}

void Serve(WaveInDevice* device) {
  for (;;) {
    WAVEHDR* done = nullptr;
    bool answer = false;
    {
      std::lock_guard<std::mutex> hold(device->lock);
      switch (device->request) {
        case CaptureRequest::kQuit: return;
        case CaptureRequest::kStart:
          device->answer = StartCapture(device);
          answer = true;
          break;
        case CaptureRequest::kStop: done = StopStep(device, &answer); break;
        case CaptureRequest::kNone:
          if (device->running) done = Fill(device);
          break;
      }
    }
    if (done != nullptr) Notify(device, WIM_DATA, reinterpret_cast<DWORD_PTR>(done));
    if (answer) {
      // Only now, so that a stop returns after its callbacks have.
      {
        std::lock_guard<std::mutex> hold(device->lock);
        device->request = CaptureRequest::kNone;
      }
      device->answered.notify_all();
    } else if (done == nullptr) {
      WaitForCaptureSource(device->source);
    }
  }
}

void CaptureThreadMain(WaveInDevice* device) {
  EnterCaptureThread();
  t_serving = device;
  Notify(device, WIM_OPEN, 0);
  {
    std::lock_guard<std::mutex> hold(device->lock);
    device->ready = true;
  }
  device->answered.notify_all();
  Serve(device);
  ReturnQueued(device);
  Notify(device, WIM_CLOSE, 0);
  t_serving = nullptr;
}

// Asks the capture thread to do `request` and waits for its answer.
MMRESULT Ask(WaveInDevice* device, CaptureRequest request) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (OnCaptureThreadOf(device)) return WAVERR_SYNC;
  std::lock_guard<std::mutex> one_at_a_time(device->control);
  std::unique_lock<std::mutex> hold(device->lock);
  device->request = request;
  WakeCaptureSource(device->source);
  device->answered.wait(hold, [device] { return device->request == CaptureRequest::kNone; });
  return device->answer;
}

MMRESULT StartThread(WaveInDevice* device) {
  try {
    device->thread = std::thread(&CaptureThreadMain, device);
  } catch (const std::system_error&) {
    return MMSYSERR_NOMEM;
  }
  std::unique_lock<std::mutex> hold(device->lock);
  device->answered.wait(hold, [device] { return device->ready; });
  return MMSYSERR_NOERROR;
}

}  // namespace

// Only CALLBACK_FUNCTION, and only the recording format: anything else is
// refused before a device is touched.
MMRESULT waveInOpen(HWAVEIN* device, UINT device_id, const WAVEFORMATEX* format, DWORD_PTR callback, DWORD_PTR instance,
                    DWORD flags) {
  if (device == nullptr || format == nullptr) return MMSYSERR_INVALPARAM;
  *device = nullptr;
  if (flags != CALLBACK_FUNCTION) return MMSYSERR_INVALFLAG;
  if (callback == 0) return MMSYSERR_INVALPARAM;
  if (device_id != WAVE_MAPPER && device_id != 0) return MMSYSERR_BADDEVICEID;
  if (!IsCapturableFormat(*format)) return WAVERR_BADFORMAT;

  auto* opened = new (std::nothrow) WaveInDevice;
  if (opened == nullptr) return MMSYSERR_NOMEM;
  opened->callback = reinterpret_cast<WaveInProc>(callback);  // NOLINT(performance-no-int-to-ptr): the API's form
  opened->instance = instance;
  opened->frame_bytes = format->nBlockAlign;
  MMRESULT result = OpenCaptureSource(*format, &opened->source);
  if (result == MMSYSERR_NOERROR) {
    result = StartThread(opened);
    if (result != MMSYSERR_NOERROR) CloseCaptureSource(opened->source);
  }
  if (result != MMSYSERR_NOERROR) {
    delete opened;
    return result;
  }
  *device = opened;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT header_size) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (CheckHeader(header, header_size) != MMSYSERR_NOERROR || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> hold(device->lock);
  if ((header->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  header->dwFlags = (header->dwFlags | WHDR_PREPARED) & ~WHDR_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT header_size) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (MMRESULT result = CheckHeader(header, header_size); result != MMSYSERR_NOERROR) return result;
  std::lock_guard<std::mutex> hold(device->lock);
  if ((header->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

// Called from the callback as often as from elsewhere: it only takes the lock,
// which the capture thread never holds while calling back.
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT header_size) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (MMRESULT result = CheckHeader(header, header_size); result != MMSYSERR_NOERROR) return result;
  std::lock_guard<std::mutex> hold(device->lock);
  if ((header->dwFlags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
  if ((header->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  if (header->lpData == nullptr || header->dwBufferLength < device->frame_bytes) return MMSYSERR_INVALPARAM;
  header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
  header->dwBytesRecorded = 0;
  header->lpNext = nullptr;
  if (device->tail != nullptr) {
    device->tail->lpNext = header;
  } else {
    device->head = header;
  }
  device->tail = header;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN device) { return Ask(device, CaptureRequest::kStart); }
MMRESULT waveInStop(HWAVEIN device) { return Ask(device, CaptureRequest::kStop); }

MMRESULT waveInClose(HWAVEIN device) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (OnCaptureThreadOf(device)) return WAVERR_SYNC;
  {
    std::lock_guard<std::mutex> one_at_a_time(device->control);
    std::lock_guard<std::mutex> hold(device->lock);
    device->request = CaptureRequest::kQuit;
    WakeCaptureSource(device->source);
  }
  device->thread.join();
  CloseCaptureSource(device->source);
  delete device;
  return MMSYSERR_NOERROR;
}

const CaptureOps& NativeCaptureOps() {
  static const CaptureOps ops{&waveInOpen, &waveInPrepareHeader, &waveInUnprepareHeader, &waveInAddBuffer, &waveInStart,
                              &waveInStop, &waveInClose};
  return ops;
}

}  // namespace tarnwick
