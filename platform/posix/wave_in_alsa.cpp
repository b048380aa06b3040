// The capture source on Linux: ALSA's `default` capture PCM, read without
// blocking, with poll() on its descriptors and an eventfd that a control call
// writes to, so that it is served within milliseconds rather than at the next
// period. Every ALSA call of the library is in this file.
//
// ALSA's own error messages never reach stderr: the capture thread silences
// them for its whole life, the calls on other threads for their duration, in
// both cases for the calling thread only, so that an application that uses
// ALSA itself keeps its messages.
//
// Results: an ALSA device that does not exist (ENOENT, ENODEV, ENXIO) is
// MMSYSERR_BADDEVICEID, EBUSY MMSYSERR_ALLOCATED, ENOMEM MMSYSERR_NOMEM, a
// device that cannot take 8 kHz, 16-bit mono WAVERR_BADFORMAT, anything else
// MMSYSERR_ERROR.

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <new>

// ALSA 1.2.8 declares snd_lib_error_set_local outside its extern "C" block;
// the header's declaration is moved aside and the C function declared here.
#define snd_lib_error_set_local tarnwick_alsa_misdeclared_set_local
#include <alsa/asoundlib.h>
#undef snd_lib_error_set_local
extern "C" snd_local_error_handler_t snd_lib_error_set_local(snd_local_error_handler_t handler);

#include "capture_source.h"

namespace tarnwick {

namespace {

// The ring absorbs the time the capture thread spends in the application's
// callback, when nobody reads the PCM: seconds of it.
constexpr snd_pcm_uframes_t kRingSeconds = 3;
constexpr snd_pcm_uframes_t kPeriodsPerSecond = 20;
constexpr int kMaxPcmDescriptors = 7;
// How long to wait before looking at a PCM again that asked for patience
// (resuming from a suspend, or an error reported only by its descriptors).
constexpr int kRetryMs = 20;

void DiscardAlsaMessage(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
                        const char* /*format*/, va_list /*arguments*/) {}

class QuietAlsa {
 public:
  QuietAlsa() : previous_(snd_lib_error_set_local(&DiscardAlsaMessage)) {}
  ~QuietAlsa() { snd_lib_error_set_local(previous_); }
  QuietAlsa(const QuietAlsa&) = delete;
  QuietAlsa& operator=(const QuietAlsa&) = delete;

 private:
  snd_local_error_handler_t previous_;
};

MMRESULT ResultFromError(int error) {
  switch (error) {
    case -ENOENT:
    case -ENODEV:
    case -ENXIO: return MMSYSERR_BADDEVICEID;
    case -EBUSY: return MMSYSERR_ALLOCATED;
    case -ENOMEM: return MMSYSERR_NOMEM;
    default: return MMSYSERR_ERROR;
  }
}

}  // namespace

struct CaptureSource {
  snd_pcm_t* pcm = nullptr;
  std::size_t frame_bytes = 0;
  int wake_fd = -1;
  pollfd fds[1 + kMaxPcmDescriptors] = {};  // [0] is wake_fd, then the PCM's
  nfds_t pcm_fd_count = 0;
  bool running = false;
  bool broken = false;  // failed beyond repair: nothing more until a start
  bool stopping = false;
  snd_pcm_uframes_t left = 0;  // while stopping: frames captured before the stop still to read
  int next_wait_ms = -1;
};

namespace {

// Interleaved S16_LE at exactly the format's rate and channels (the default
// PCM is normally a plug chain that converts and resamples), a ring of up to
// three seconds, a period of 50 ms. Never started by ALSA itself, stopped on
// an overrun so that the reader sees and repairs it.
MMRESULT Configure(snd_pcm_t* pcm, const WAVEFORMATEX& format) {
  const snd_pcm_uframes_t rate = format.nSamplesPerSec;
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  if (snd_pcm_hw_params_any(pcm, hw) < 0) return WAVERR_BADFORMAT;
  snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
  if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
      snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) < 0 ||
      snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels) < 0 ||
      snd_pcm_hw_params_set_rate(pcm, hw, format.nSamplesPerSec, 0) < 0) {
    return WAVERR_BADFORMAT;
  }
  snd_pcm_uframes_t buffer = 0;
  snd_pcm_uframes_t period = rate / kPeriodsPerSecond;
  int direction = 0;
  if (snd_pcm_hw_params_get_buffer_size_max(hw, &buffer) < 0) return MMSYSERR_ERROR;
  buffer = std::min(buffer, rate * kRingSeconds);
  if (snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer) < 0 ||
      snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &direction) < 0) {
    return MMSYSERR_ERROR;
  }
  if (int error = snd_pcm_hw_params(pcm, hw); error < 0)
    return error == -EINVAL ? WAVERR_BADFORMAT : ResultFromError(error);
  if (snd_pcm_hw_params_get_buffer_size(hw, &buffer) < 0 ||
      snd_pcm_hw_params_get_period_size(hw, &period, &direction) < 0) {
    return MMSYSERR_ERROR;
  }
  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_sw_params_alloca(&sw);
  snd_pcm_uframes_t boundary = 0;
  int error = snd_pcm_sw_params_current(pcm, sw);
  if (error == 0) error = snd_pcm_sw_params_get_boundary(sw, &boundary);
  if (error == 0) error = snd_pcm_sw_params_set_avail_min(pcm, sw, period);
  if (error == 0) error = snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary);
  if (error == 0) error = snd_pcm_sw_params_set_stop_threshold(pcm, sw, buffer);
  if (error == 0) error = snd_pcm_sw_params(pcm, sw);
  return error == 0 ? MMSYSERR_NOERROR : ResultFromError(error);
}

// Fetches the PCM's descriptors behind the wake-up one; some plugins only
// settle them once started.
bool FetchDescriptors(CaptureSource* source) {
  const int count = snd_pcm_poll_descriptors_count(source->pcm);
  if (count <= 0 || count > kMaxPcmDescriptors) return false;
  source->pcm_fd_count = static_cast<nfds_t>(count);
  return snd_pcm_poll_descriptors(source->pcm, source->fds + 1, static_cast<unsigned>(count)) == count;
}

// After an overrun the stream is stopped; it is prepared and started again at
// once, so that capture goes on with the current sound.
void Restart(CaptureSource* source) {
  if (snd_pcm_prepare(source->pcm) < 0 || snd_pcm_start(source->pcm) < 0) source->broken = true;
}

void Recover(CaptureSource* source, long error) {
  if (error == -EPIPE) return Restart(source);
  if (error != -ESTRPIPE) {
    source->broken = true;
    return;
  }
  // Resuming can take a while; the thread stays responsive to control calls
  // by waiting in poll rather than here.
  const int resumed = snd_pcm_resume(source->pcm);
  if (resumed == -EAGAIN) {
    source->next_wait_ms = kRetryMs;
    return;
  }
  // Some plugins report success without running again: only the state tells.
  // A device that cannot resume is started afresh.
  if (resumed != 0 || snd_pcm_state(source->pcm) != SND_PCM_STATE_RUNNING) Restart(source);
}

// The descriptors reported an error that no read explained (some plugins only
// report it there). The state is brought up to date first: some devices notice
// an overrun only when asked for their position.
void RepairAfterPollError(CaptureSource* source) {
  const snd_pcm_sframes_t avail = snd_pcm_avail_update(source->pcm);
  if (avail == -EPIPE || avail == -ESTRPIPE) return Recover(source, avail);
  switch (snd_pcm_state(source->pcm)) {
    case SND_PCM_STATE_XRUN: return Recover(source, -EPIPE);
    case SND_PCM_STATE_SUSPENDED: return Recover(source, -ESTRPIPE);
    case SND_PCM_STATE_RUNNING:
    case SND_PCM_STATE_PREPARED:
      // Nothing to repair; the descriptors may keep saying so: look again a
      // little later rather than spin.
      source->next_wait_ms = kRetryMs;
      return;
    default: source->broken = true;
  }
}

void EndStop(CaptureSource* source) {
  snd_pcm_drop(source->pcm);
  source->stopping = false;
  source->left = 0;
}

}  // namespace

MMRESULT OpenCaptureSource(const WAVEFORMATEX& format, CaptureSource** source) {
  *source = nullptr;
  auto* opened = new (std::nothrow) CaptureSource;
  if (opened == nullptr) return MMSYSERR_NOMEM;
  opened->frame_bytes = format.nBlockAlign;
  opened->wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  MMRESULT result = opened->wake_fd < 0 ? ResultFromError(-errno) : MMSYSERR_NOERROR;
  QuietAlsa quiet;
  if (result == MMSYSERR_NOERROR) {
    const int error = snd_pcm_open(&opened->pcm, "default", SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (error < 0) {
      opened->pcm = nullptr;
      result = ResultFromError(error);
    }
  }
  if (result == MMSYSERR_NOERROR) result = Configure(opened->pcm, format);
  if (result == MMSYSERR_NOERROR && !FetchDescriptors(opened)) result = MMSYSERR_ERROR;
  if (result != MMSYSERR_NOERROR) {
    CloseCaptureSource(opened);
    return result;
  }
  opened->fds[0] = pollfd{opened->wake_fd, POLLIN, 0};
  *source = opened;
  return MMSYSERR_NOERROR;
}

void CloseCaptureSource(CaptureSource* source) {
  if (source->pcm != nullptr) {
    QuietAlsa quiet;
    snd_pcm_close(source->pcm);
  }
  if (source->wake_fd >= 0) ::close(source->wake_fd);
  delete source;
}

MMRESULT StartCaptureSource(CaptureSource* source) {
  if (source->stopping) EndStop(source);
  int error = 0;
  if (snd_pcm_state(source->pcm) != SND_PCM_STATE_PREPARED) error = snd_pcm_prepare(source->pcm);
  if (error == 0) error = snd_pcm_start(source->pcm);
  if (error != 0) return ResultFromError(error);
  FetchDescriptors(source);
  source->running = true;
  source->broken = false;
  return MMSYSERR_NOERROR;
}

// What the PCM holds at this moment is what a stop still hands back.
void StopCaptureSource(CaptureSource* source) {
  const snd_pcm_sframes_t avail = source->broken ? 0 : snd_pcm_avail(source->pcm);
  source->running = false;
  source->stopping = true;
  source->left = avail > 0 ? static_cast<snd_pcm_uframes_t>(avail) : 0;
  if (source->left == 0) EndStop(source);
}

std::size_t ReadCaptureSource(CaptureSource* source, char* into, std::size_t capacity) {
  if (source->broken || (!source->running && !source->stopping)) return 0;
  snd_pcm_uframes_t wanted = capacity / source->frame_bytes;
  if (source->stopping) wanted = std::min(wanted, source->left);
  snd_pcm_sframes_t got = 0;
  do {
    got = snd_pcm_readi(source->pcm, into, wanted);
  } while (got == -EINTR);
  if (source->stopping) {
    source->left -= got > 0 ? static_cast<snd_pcm_uframes_t>(got) : source->left;
    if (source->left == 0) EndStop(source);
    return got > 0 ? static_cast<std::size_t>(got) * source->frame_bytes : 0;
  }
  if (got > 0) return static_cast<std::size_t>(got) * source->frame_bytes;
  if (got != 0 && got != -EAGAIN) Recover(source, got);
  return 0;
}

void WaitForCaptureSource(CaptureSource* source) {
  // A PCM that asked for patience is left alone for a while; only a control
  // call cuts that short.
  const int timeout_ms = source->next_wait_ms;
  source->next_wait_ms = -1;
  const bool watch_pcm = source->running && !source->broken && timeout_ms < 0;
  const nfds_t count = watch_pcm ? source->pcm_fd_count + 1 : 1;
  for (nfds_t i = 0; i < count; ++i) source->fds[i].revents = 0;
  if (::poll(source->fds, count, timeout_ms) <= 0) return;
  if (source->fds[0].revents != 0) {
    std::uint64_t wakes = 0;
    while (::read(source->wake_fd, &wakes, sizeof wakes) < 0 && errno == EINTR) {
    }
  }
  if (!watch_pcm) return;
  unsigned short events = 0;
  if (snd_pcm_poll_descriptors_revents(source->pcm, source->fds + 1, static_cast<unsigned>(source->pcm_fd_count),
                                       &events) < 0) {
    events = POLLERR;
  }
  if ((events & (POLLERR | POLLHUP | POLLNVAL)) != 0) RepairAfterPollError(source);
}

void WakeCaptureSource(CaptureSource* source) {
  const std::uint64_t one = 1;
  while (::write(source->wake_fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void EnterCaptureThread() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  snd_lib_error_set_local(&DiscardAlsaMessage);
}

}  // namespace tarnwick
