// The waveIn functions on Linux: argument checks, the buffer queue, and the
// hand-shake with the capture thread (capture_thread_alsa.cpp).
//
// Where this layer chooses among Windows' results, or departs from Windows:
// - An ALSA device that does not exist (ENOENT, ENODEV, ENXIO) is
//   MMSYSERR_BADDEVICEID; other failures to open it are MMSYSERR_ERROR, except
//   EBUSY (MMSYSERR_ALLOCATED) and ENOMEM (MMSYSERR_NOMEM).
// - Callback kinds other than CALLBACK_FUNCTION and CALLBACK_NULL, and any
//   other flag, are MMSYSERR_INVALFLAG.
// - waveInStart, waveInStop and waveInClose called from inside the callback
//   return WAVERR_SYNC and do nothing: they would wait for the very thread
//   that runs the callback.
// - waveInClose always closes, even with buffers queued (Windows refuses with
//   WAVERR_STILLPLAYING and keeps the device): the device and the thread are
//   never left behind. The queued buffers come back done, without a callback.

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <new>

#include "wave_in_device.h"

namespace tarnwick {
namespace {

constexpr DWORD kCallbackKindMask = 0x00070000;
constexpr DWORD kLowestRate = 1000;
constexpr DWORD kHighestRate = 192000;

bool IsSupportedFormat(const WAVEFORMATEX& format) {
  if (format.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (format.nChannels < 1 || format.nChannels > 2) return false;
  if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) return false;
  if (format.nSamplesPerSec < kLowestRate || format.nSamplesPerSec > kHighestRate) return false;
  const DWORD block = DWORD{format.nChannels} * format.wBitsPerSample / 8;
  return format.nBlockAlign == block && format.nAvgBytesPerSec == format.nSamplesPerSec * block;
}

MMRESULT ResultFromErrno(int error) { return error == ENOMEM ? MMSYSERR_NOMEM : MMSYSERR_ERROR; }

MMRESULT CheckHeader(const WAVEHDR* header, UINT header_size) {
  return header == nullptr || header_size < sizeof(WAVEHDR) ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}

void Wake(const WaveInDevice* device) {
  const std::uint64_t one = 1;
  while (::write(device->wake_fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

// Asks the capture thread to do `request` and waits for its answer.
MMRESULT Ask(WaveInDevice* device, CaptureRequest request) {
  if (OnCaptureThreadOf(device)) return WAVERR_SYNC;
  std::lock_guard<std::mutex> one_at_a_time(device->control);
  std::unique_lock<std::mutex> hold(device->lock);
  device->request = request;
  Wake(device);
  device->answered.wait(hold, [device] { return device->request == CaptureRequest::kNone; });
  return device->answer;
}

// The capture thread must not take the application's signals.
MMRESULT StartThread(WaveInDevice* device) {
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  int error = pthread_create(&device->thread, nullptr, &CaptureThreadMain, device);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (error != 0) return ResultFromErrno(error == EAGAIN ? ENOMEM : error);
  std::unique_lock<std::mutex> hold(device->lock);
  device->answered.wait(hold, [device] { return device->thread_ready; });
  return MMSYSERR_NOERROR;
}

// Everything of the device but the thread: the PCM, its descriptors, the
// wake-up descriptor.
MMRESULT Prepare(WaveInDevice* device, const WAVEFORMATEX& format) {
  device->wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (device->wake_fd < 0) return ResultFromErrno(errno);
  MMRESULT result = alsa::OpenCapturePcm(format, &device->pcm, &device->geometry);
  if (result != MMSYSERR_NOERROR) return result;
  alsa::QuietAlsa quiet;
  const int count = snd_pcm_poll_descriptors_count(device->pcm);
  if (count <= 0) return MMSYSERR_ERROR;
  device->pcm_fd_count = static_cast<unsigned>(count);
  device->poll_fds = new (std::nothrow) pollfd[device->pcm_fd_count + 1];
  if (device->poll_fds == nullptr) return MMSYSERR_NOMEM;
  device->poll_fds[0] = pollfd{device->wake_fd, POLLIN, 0};
  if (snd_pcm_poll_descriptors(device->pcm, device->poll_fds + 1, device->pcm_fd_count) != count) {
    return MMSYSERR_ERROR;
  }
  return MMSYSERR_NOERROR;
}

MMRESULT Open(HWAVEIN* device, UINT device_id, const WAVEFORMATEX* format, DWORD_PTR callback, DWORD_PTR instance,
              DWORD flags) {
  if (device == nullptr || format == nullptr) return MMSYSERR_INVALPARAM;
  *device = nullptr;
  const DWORD kind = flags & kCallbackKindMask;
  if ((flags & ~kCallbackKindMask) != 0 || (kind != CALLBACK_FUNCTION && kind != CALLBACK_NULL)) {
    return MMSYSERR_INVALFLAG;
  }
  if (kind == CALLBACK_FUNCTION && callback == 0) return MMSYSERR_INVALPARAM;
  if (device_id != WAVE_MAPPER && device_id != 0) return MMSYSERR_BADDEVICEID;
  if (!IsSupportedFormat(*format)) return WAVERR_BADFORMAT;

  auto* opened = new (std::nothrow) WaveInDevice;
  if (opened == nullptr) return MMSYSERR_NOMEM;
  if (kind == CALLBACK_FUNCTION) {
    // The API passes the callback as an integer.
    opened->callback = reinterpret_cast<WaveInProc>(callback);  // NOLINT(performance-no-int-to-ptr)
  }
  opened->instance = instance;
  opened->frame_bytes = format->nBlockAlign;
  MMRESULT result = Prepare(opened, *format);
  if (result == MMSYSERR_NOERROR) result = StartThread(opened);
  if (result != MMSYSERR_NOERROR) {
    delete opened;
    return result;
  }
  *device = opened;
  return MMSYSERR_NOERROR;
}

MMRESULT PrepareHeader(HWAVEIN device, WAVEHDR* header, UINT header_size) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (CheckHeader(header, header_size) != MMSYSERR_NOERROR || header->lpData == nullptr) {
    return MMSYSERR_INVALPARAM;
  }
  std::lock_guard<std::mutex> hold(device->lock);
  if ((header->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  header->dwFlags = (header->dwFlags | WHDR_PREPARED) & ~WHDR_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT UnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT header_size) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (MMRESULT result = CheckHeader(header, header_size); result != MMSYSERR_NOERROR) return result;
  std::lock_guard<std::mutex> hold(device->lock);
  if ((header->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

// Called from the callback as often as from elsewhere: it only takes the lock,
// which the capture thread never holds while calling back.
MMRESULT AddBuffer(HWAVEIN device, WAVEHDR* header, UINT header_size) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (MMRESULT result = CheckHeader(header, header_size); result != MMSYSERR_NOERROR) return result;
  std::lock_guard<std::mutex> hold(device->lock);
  if ((header->dwFlags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
  if ((header->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  if (header->lpData == nullptr || header->dwBufferLength < device->frame_bytes) {
    return MMSYSERR_INVALPARAM;
  }
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

MMRESULT Start(HWAVEIN device) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  return Ask(device, CaptureRequest::kStart);
}

MMRESULT Stop(HWAVEIN device) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  return Ask(device, CaptureRequest::kStop);
}

MMRESULT Close(HWAVEIN device) {
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  if (OnCaptureThreadOf(device)) return WAVERR_SYNC;
  {
    std::lock_guard<std::mutex> one_at_a_time(device->control);
    std::lock_guard<std::mutex> hold(device->lock);
    device->request = CaptureRequest::kQuit;
    Wake(device);
  }
  pthread_join(device->thread, nullptr);
  delete device;
  return MMSYSERR_NOERROR;
}

}  // namespace

WaveInDevice::~WaveInDevice() {
  // Only reached with a live PCM when the capture thread never started.
  if (pcm != nullptr) {
    alsa::QuietAlsa quiet;
    snd_pcm_close(pcm);
  }
  delete[] poll_fds;
  if (wake_fd >= 0) ::close(wake_fd);
}

MMRESULT waveInOpen(HWAVEIN* device, UINT device_id, const WAVEFORMATEX* format, DWORD_PTR callback, DWORD_PTR instance,
                    DWORD flags) {
  return Open(device, device_id, format, callback, instance, flags);
}
MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT header_size) {
  return PrepareHeader(device, header, header_size);
}
MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT header_size) {
  return UnprepareHeader(device, header, header_size);
}
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT header_size) {
  return AddBuffer(device, header, header_size);
}
MMRESULT waveInStart(HWAVEIN device) { return Start(device); }
MMRESULT waveInStop(HWAVEIN device) { return Stop(device); }
MMRESULT waveInClose(HWAVEIN device) { return Close(device); }

const CaptureOps& NativeCaptureOps() {
  static const CaptureOps ops{&waveInOpen, &waveInPrepareHeader, &waveInUnprepareHeader, &waveInAddBuffer, &waveInStart,
                              &waveInStop, &waveInClose};
  return ops;
}

}  // namespace tarnwick
