// The capture thread: it owns the PCM, fills the queued buffers, hands them back
// through the application's callback, and carries out start, stop and close.
//
// It sleeps in poll() on the PCM's descriptors and an eventfd, so a control call
// is served within milliseconds rather than at the next period. Each pass takes
// the lock, does the work that needs the queue, releases it, and only then
// calls the application back, so that the callback may queue buffers again.

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "wave_in_device.h"

namespace tarnwick {
namespace {

thread_local const WaveInDevice* t_serving = nullptr;

// How long to wait before looking at a PCM again that asked for patience
// (resuming from a suspend, or an error reported only by its descriptors).
constexpr int kRetryMs = 20;

// The buffers finished in one pass, handed back once the lock is released. A
// fixed number: when it is reached, the pass ends early and the next one goes on.
struct Finished {
  static constexpr std::size_t kCapacity = 16;
  WAVEHDR* headers[kCapacity];
  std::size_t count = 0;
};

void Notify(WaveInDevice* device, UINT message, DWORD_PTR param1) {
  if (device->callback != nullptr) device->callback(device, message, device->instance, param1, 0);
}

// Takes the head buffer off the queue as done, with what it holds.
void FinishHead(WaveInDevice* device, Finished* finished) {
  WAVEHDR* header = device->head;
  device->head = header->lpNext;
  if (device->head == nullptr) device->tail = nullptr;
  header->lpNext = nullptr;
  header->dwBytesRecorded = device->filled;
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  device->filled = 0;
  finished->headers[finished->count++] = header;
}

// Reads what the PCM has into the queued buffers, keeping `reserve` places in
// `finished` free. Returns how long the thread may then sleep (0: come back at
// once). When the queue runs dry, what follows is for the buffers about to be
// handed back: the application usually queues them again from its callback,
// so the pass ends and the sound waits in the ring. Only when the application
// has no buffer queued at all is the sound dropped as it comes, as it would be
// on Windows.
int Capture(WaveInDevice* device, Finished* finished, std::size_t reserve) {
  while (finished->count + reserve < Finished::kCapacity) {
    if (device->head == nullptr && finished->count > 0) return 0;
    void* target = device->scratch;
    snd_pcm_uframes_t room = sizeof device->scratch / device->frame_bytes;
    if (WAVEHDR* header = device->head; header != nullptr) {
      target = header->lpData + device->filled;
      room = (header->dwBufferLength - device->filled) / device->frame_bytes;
    }
    snd_pcm_uframes_t frames = 0;
    switch (alsa::ReadFrames(device->pcm, target, room, &frames)) {
      case alsa::ReadStatus::kFrames:
        if (device->head != nullptr) {
          device->filled += static_cast<DWORD>(frames) * device->frame_bytes;
          if (device->head->dwBufferLength - device->filled < device->frame_bytes) {
            FinishHead(device, finished);
          }
        }
        break;
      case alsa::ReadStatus::kRecovered:
      case alsa::ReadStatus::kEmpty: return -1;  // the descriptors say when there is more
      case alsa::ReadStatus::kRetryLater: return kRetryMs;
      case alsa::ReadStatus::kBroken: device->broken = true; return -1;
    }
  }
  return 0;
}

MMRESULT Start(WaveInDevice* device) {
  if (device->running) return MMSYSERR_NOERROR;
  MMRESULT result = alsa::StartCapture(device->pcm);
  if (result != MMSYSERR_NOERROR) return result;
  // Some plugins only settle their descriptors once started.
  {
    alsa::QuietAlsa quiet;
    snd_pcm_poll_descriptors(device->pcm, device->poll_fds + 1, device->pcm_fd_count);
  }
  device->running = true;
  device->broken = false;
  return MMSYSERR_NOERROR;
}

// Keeps what was recorded up to now: the frames the PCM already holds go into
// the buffers first, then the buffer in progress is handed back if it holds
// anything. An empty buffer stays queued for the next start.
void Stop(WaveInDevice* device, Finished* finished) {
  if (device->running) {
    if (!device->broken) Capture(device, finished, 1);
    alsa::QuietAlsa quiet;
    snd_pcm_drop(device->pcm);
    device->running = false;
  }
  if (device->head != nullptr && device->filled >= device->frame_bytes) FinishHead(device, finished);
}

// Gives every queued buffer back to the application without a callback, marked
// done with what it holds, and releases the PCM.
void ShutDown(WaveInDevice* device) {
  {
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
  }
  alsa::QuietAlsa quiet;
  if (device->running) snd_pcm_drop(device->pcm);
  snd_pcm_close(device->pcm);
  device->pcm = nullptr;
  device->running = false;
}

void DrainWakeups(int wake_fd) {
  std::uint64_t count = 0;
  while (::read(wake_fd, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

// Sleeps until the PCM has a period, a control call comes, or `timeout_ms`
// passes (-1: no limit). Only the wake descriptor is watched while the PCM is
// not capturing.
void Sleep(WaveInDevice* device, int timeout_ms) {
  bool watch_pcm = device->running && !device->broken;
  nfds_t count = watch_pcm ? device->pcm_fd_count + 1 : 1;
  for (nfds_t i = 0; i < count; ++i) device->poll_fds[i].revents = 0;
  if (::poll(device->poll_fds, count, timeout_ms) <= 0) return;
  if (device->poll_fds[0].revents != 0) DrainWakeups(device->wake_fd);
  if (!watch_pcm) return;
  unsigned short events = 0;
  {
    alsa::QuietAlsa quiet;
    if (snd_pcm_poll_descriptors_revents(device->pcm, device->poll_fds + 1, device->pcm_fd_count, &events) < 0) {
      events = POLLERR;
    }
  }
  if ((events & (POLLERR | POLLHUP | POLLNVAL)) == 0) return;
  switch (alsa::RepairAfterPollError(device->pcm)) {
    case alsa::ReadStatus::kBroken: device->broken = true; break;
    case alsa::ReadStatus::kRetryLater:
      ::poll(device->poll_fds, 1, kRetryMs);  // a control call still cuts it short
      break;
    default: break;
  }
}

void Run(WaveInDevice* device) {
  for (;;) {
    Finished finished;
    CaptureRequest served;
    int sleep_ms = -1;
    {
      std::lock_guard<std::mutex> hold(device->lock);
      served = device->request;
      switch (served) {
        case CaptureRequest::kStart: device->answer = Start(device); break;
        case CaptureRequest::kStop:
          Stop(device, &finished);
          device->answer = MMSYSERR_NOERROR;
          break;
        case CaptureRequest::kQuit: return;
        case CaptureRequest::kNone:
          if (device->running && !device->broken) sleep_ms = Capture(device, &finished, 0);
          break;
      }
    }
    for (std::size_t i = 0; i < finished.count; ++i) {
      Notify(device, WIM_DATA, reinterpret_cast<DWORD_PTR>(finished.headers[i]));
    }
    if (served != CaptureRequest::kNone) {
      // Answered only now, so that a stop returns after its callbacks have.
      {
        std::lock_guard<std::mutex> hold(device->lock);
        device->request = CaptureRequest::kNone;
      }
      device->answered.notify_all();
      continue;
    }
    if (finished.count == 0 && sleep_ms != 0) Sleep(device, sleep_ms);
  }
}

}  // namespace

bool OnCaptureThreadOf(const WaveInDevice* device) { return t_serving == device; }

void* CaptureThreadMain(void* argument) {
  auto* device = static_cast<WaveInDevice*>(argument);
  t_serving = device;
  Notify(device, WIM_OPEN, 0);
  {
    std::lock_guard<std::mutex> hold(device->lock);
    device->thread_ready = true;
  }
  device->answered.notify_all();
  Run(device);
  ShutDown(device);
  Notify(device, WIM_CLOSE, 0);
  t_serving = nullptr;
  return nullptr;
}

}  // namespace tarnwick
