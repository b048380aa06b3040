// The waveIn calls, the same on every OS: the one queued buffer, the capture
// thread that fills it from the OS's capture source (capture_source.h) and
// hands it back through the callback, and the stop with its drain.
//
// Threads: only the capture thread reads the source and calls back. It holds
// the device's lock while it fills the buffer and lets go of it to call back,
// so that the callback may queue the buffer again. waveInStop marks the
// moment of the stop on the caller's thread, under the lock, and the capture
// thread then drains what was captured before it. Stop and close must not be
// called from inside the callback.

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "capture_source.h"
#include "wave_in.h"

namespace tarnwick {
namespace {

enum class State { kOpen, kCapturing, kDraining, kStopped, kClosing };

}  // namespace

struct WaveInDevice {
  WaveInProc callback = nullptr;
  DWORD_PTR instance = 0;
  DWORD frame_bytes = 0;
  CaptureSource* source = nullptr;
  std::thread thread;

  std::mutex lock;                  // guards what follows, and the source but for its Wait and Wake
  std::condition_variable stopped;  // the drain is done and its buffer handed back
  State state = State::kOpen;
  WAVEHDR* queued = nullptr;   // the one buffer, being filled
  DWORD filled = 0;            // bytes of it filled
  std::size_t drain_left = 0;  // while draining: bytes captured before the stop, still to read
};

namespace {

// Takes the queued buffer off the queue as done, with what it holds.
WAVEHDR* TakeBuffer(WaveInDevice* device) {
  WAVEHDR* header = device->queued;
  device->queued = nullptr;
  header->dwBytesRecorded = device->filled;
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  device->filled = 0;
  return header;
}

// Fills the queued buffer from the source and returns it once it is full or,
// when the drain of a stop ends, with what it holds, if that is a frame. The
// drain ends once everything captured before the stop is read, or when there
// is no buffer left to read it into.
WAVEHDR* Fill(WaveInDevice* device, bool* drained) {
  const bool draining = device->state == State::kDraining;
  WAVEHDR* header = device->queued;
  *drained = draining && header == nullptr;
  if (header == nullptr) return nullptr;
  std::size_t room = header->dwBufferLength - device->filled;
  room -= room % device->frame_bytes;
  if (draining) room = std::min(room, device->drain_left);
  const std::size_t got = room == 0 ? 0 : ReadCaptureSource(device->source, header->lpData + device->filled, room);
  device->filled += static_cast<DWORD>(got);
  if (draining) device->drain_left -= got;
  *drained = draining && (got < room || device->drain_left == 0);
  const bool full = header->dwBufferLength - device->filled < device->frame_bytes;
  return full || (*drained && device->filled > 0) ? TakeBuffer(device) : nullptr;
}

void Serve(WaveInDevice* device) {
  EnterCaptureThread();
  std::unique_lock<std::mutex> hold(device->lock);
  while (device->state != State::kClosing) {
    bool drained = false;
    const bool reading = device->state == State::kCapturing || device->state == State::kDraining;
    WAVEHDR* done = reading ? Fill(device, &drained) : nullptr;
    if (drained) device->state = State::kStopped;
    if (done != nullptr) {
      hold.unlock();
      device->callback(device, WIM_DATA, device->instance, reinterpret_cast<DWORD_PTR>(done), 0);
      hold.lock();
    }
    if (drained) {
      device->stopped.notify_all();  // only now: a stop returns after its callback has
    } else if (done == nullptr) {
      // A buffer that came back full is followed by another pass at once: the
      // callback may have queued it again, with sound waiting for it.
      const bool capturing = device->state == State::kCapturing && device->queued != nullptr;
      hold.unlock();
      WaitForCaptureSource(device->source, capturing);
      hold.lock();
    }
  }
}

bool OnCaptureThread(const WaveInDevice* device) { return std::this_thread::get_id() == device->thread.get_id(); }

}  // namespace

MMRESULT waveInOpen(HWAVEIN* device, UINT /*device_id*/, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD /*flags*/) {
  *device = nullptr;
  if (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 || format->nBlockAlign == 0) {
    return MMSYSERR_ERROR;
  }
  auto* opened = new (std::nothrow) WaveInDevice;
  if (opened == nullptr) return MMSYSERR_ERROR;
  opened->callback = reinterpret_cast<WaveInProc>(callback);  // NOLINT(performance-no-int-to-ptr): the API's form
  opened->instance = instance;
  opened->frame_bytes = format->nBlockAlign;
  if (!OpenCaptureSource(*format, &opened->source)) {
    delete opened;
    return MMSYSERR_ERROR;
  }
  try {
    opened->thread = std::thread(&Serve, opened);
  } catch (const std::system_error&) {
    CloseCaptureSource(opened->source);
    delete opened;
    return MMSYSERR_ERROR;
  }
  *device = opened;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN /*device*/, WAVEHDR* header, UINT /*header_size*/) {
  header->dwFlags = (header->dwFlags | WHDR_PREPARED) & ~WHDR_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT /*header_size*/) {
  const std::lock_guard<std::mutex> hold(device->lock);
  if (device->queued == header) return MMSYSERR_ERROR;  // still queued
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

// Called from inside the callback as often as from elsewhere: it only takes
// the lock, which the capture thread never holds while calling back.
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT /*header_size*/) {
  const std::lock_guard<std::mutex> hold(device->lock);
  if (device->queued != nullptr || (header->dwFlags & WHDR_PREPARED) == 0 || header->dwBufferLength == 0) {
    return MMSYSERR_ERROR;
  }
  header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
  header->dwBytesRecorded = 0;
  device->queued = header;
  device->filled = 0;
  // The capture thread waits for no sound while nothing is queued.
  if (!OnCaptureThread(device)) WakeCaptureSource(device->source);
  return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN device) {
  const std::lock_guard<std::mutex> hold(device->lock);
  if (device->state != State::kOpen || !StartCaptureSource(device->source)) return MMSYSERR_ERROR;
  device->state = State::kCapturing;
  WakeCaptureSource(device->source);
  return MMSYSERR_NOERROR;
}

MMRESULT waveInStop(HWAVEIN device) {
  std::unique_lock<std::mutex> hold(device->lock);
  if (device->state != State::kCapturing) return MMSYSERR_NOERROR;
  device->drain_left = StopCaptureSource(device->source);
  device->state = State::kDraining;
  WakeCaptureSource(device->source);
  device->stopped.wait(hold, [device] { return device->state == State::kStopped; });
  return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN device) {
  {
    const std::lock_guard<std::mutex> hold(device->lock);
    device->state = State::kClosing;
    if (device->queued != nullptr) (void)TakeBuffer(device);  // back to its owner, without a callback
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
