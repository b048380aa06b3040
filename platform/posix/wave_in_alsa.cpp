// The capture source on Linux: ALSA's `default` capture PCM, read without
// blocking in whole periods of half a second. Between two periods the capture
// thread sleeps by the clock, in poll() on an eventfd that a control call
// writes to, so that a stop is served within milliseconds: the PCM's own
// descriptors are not waited on, since some plugins (a sound server's) report
// sound as soon as there is any, and would wake the thread many times a
// period. Every ALSA call of the library is in this file; its errors end
// here, as failures or repairs.
//
// ALSA's own error messages never reach stderr: the capture thread silences
// them for its whole life, the calls on other threads for their duration, in
// both cases for the calling thread only, so that an application that uses
// ALSA itself keeps its messages.

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
// callback, when nobody reads the PCM. A period is what one wake-up reads:
// half a second, so that the thread sleeps between two of them, and a block
// of one second ends on a period boundary.
constexpr snd_pcm_uframes_t kRingSeconds = 3;
constexpr snd_pcm_uframes_t kPeriodsPerSecond = 2;
// How long to wait before looking again at a PCM that is resuming from a
// suspend.
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

}  // namespace

struct CaptureSource {
  snd_pcm_t* pcm = nullptr;
  std::size_t frame_bytes = 0;
  snd_pcm_uframes_t rate = 0;
  snd_pcm_uframes_t period = 0;
  int wake_fd = -1;
  bool capturing = false;  // between a start and the stop
  bool broken = false;     // failed beyond repair: nothing more to read
  int next_wait_ms = -1;   // how long the thread may sleep before a period more is there
};

namespace {

// Interleaved S16_LE at exactly the format's rate and channels (the default
// PCM is normally a plug chain that converts and resamples), a ring of up to
// three seconds, periods of half a second. Never started by ALSA itself,
// stopped on an overrun so that the reader sees and repairs it.
bool Configure(CaptureSource* source, const WAVEFORMATEX& format) {
  snd_pcm_t* pcm = source->pcm;
  const snd_pcm_uframes_t rate = format.nSamplesPerSec;
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  snd_pcm_uframes_t buffer = 0;
  snd_pcm_uframes_t period = rate / kPeriodsPerSecond;
  int direction = 0;
  if (snd_pcm_hw_params_any(pcm, hw) < 0) return false;
  snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);  // a PCM that cannot resample may still have the rate
  if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
      snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) < 0 ||
      snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels) < 0 ||
      snd_pcm_hw_params_set_rate(pcm, hw, format.nSamplesPerSec, 0) < 0 ||
      snd_pcm_hw_params_get_buffer_size_max(hw, &buffer) < 0) {
    return false;
  }
  buffer = std::min(buffer, rate * kRingSeconds);
  if (snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer) < 0 ||
      snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &direction) < 0 || snd_pcm_hw_params(pcm, hw) < 0 ||
      snd_pcm_hw_params_get_buffer_size(hw, &buffer) < 0 ||
      snd_pcm_hw_params_get_period_size(hw, &period, &direction) < 0) {
    return false;
  }
  source->period = period;
  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_sw_params_alloca(&sw);
  snd_pcm_uframes_t boundary = 0;
  return snd_pcm_sw_params_current(pcm, sw) == 0 && snd_pcm_sw_params_get_boundary(sw, &boundary) == 0 &&
         snd_pcm_sw_params_set_avail_min(pcm, sw, period) == 0 &&
         snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary) == 0 &&
         snd_pcm_sw_params_set_stop_threshold(pcm, sw, buffer) == 0 && snd_pcm_sw_params(pcm, sw) == 0;
}

// How long until the device holds a period, when it holds `frames` now; a
// millisecond more, so that the period is surely there.
int PeriodMs(const CaptureSource* source, snd_pcm_uframes_t frames) {
  return static_cast<int>((source->period - frames) * 1000 / source->rate + 1);
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

}  // namespace

bool OpenCaptureSource(const WAVEFORMATEX& format, CaptureSource** source) {
  *source = nullptr;
  auto* opened = new (std::nothrow) CaptureSource;
  if (opened == nullptr) return false;
  opened->frame_bytes = format.nBlockAlign;
  opened->rate = format.nSamplesPerSec;
  opened->wake_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const QuietAlsa quiet;
  if (opened->wake_fd < 0 || snd_pcm_open(&opened->pcm, "default", SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0 ||
      !Configure(opened, format)) {
    CloseCaptureSource(opened);
    return false;
  }
  *source = opened;
  return true;
}

void CloseCaptureSource(CaptureSource* source) {
  if (source->pcm != nullptr) {
    const QuietAlsa quiet;
    snd_pcm_close(source->pcm);
  }
  if (source->wake_fd >= 0) ::close(source->wake_fd);
  delete source;
}

bool StartCaptureSource(CaptureSource* source) {
  const QuietAlsa quiet;
  if (snd_pcm_start(source->pcm) < 0) return false;
  source->capturing = true;
  source->next_wait_ms = PeriodMs(source, 0);
  return true;
}

// The PCM runs on; nothing it captures from now on is read, and closing it
// drops that.
std::size_t StopCaptureSource(CaptureSource* source) {
  const QuietAlsa quiet;
  source->capturing = false;
  const snd_pcm_sframes_t avail = source->broken ? 0 : snd_pcm_avail(source->pcm);
  return avail > 0 ? static_cast<std::size_t>(avail) * source->frame_bytes : 0;
}

std::size_t ReadCaptureSource(CaptureSource* source, char* into, std::size_t capacity) {
  if (source->broken) return 0;
  snd_pcm_uframes_t wanted = capacity / source->frame_bytes;
  if (source->capturing) {
    // Only the state tells of an overrun or a suspend; the position is the
    // device's own, brought up to date.
    const snd_pcm_sframes_t avail = snd_pcm_avail(source->pcm);
    const snd_pcm_state_t state = snd_pcm_state(source->pcm);
    if (avail < 0 || state == SND_PCM_STATE_XRUN || state == SND_PCM_STATE_SUSPENDED) {
      Recover(source, avail < 0 ? avail : state == SND_PCM_STATE_XRUN ? -EPIPE : -ESTRPIPE);
      return 0;
    }
    // What fills the buffer is taken; short of that, whole periods.
    const auto there = static_cast<snd_pcm_uframes_t>(avail);
    if (there < wanted) wanted = there - there % source->period;
    source->next_wait_ms = PeriodMs(source, (there - wanted) % source->period);
    if (wanted == 0) return 0;
  }
  snd_pcm_sframes_t got = 0;
  do {
    got = snd_pcm_readi(source->pcm, into, wanted);
  } while (got == -EINTR);
  if (got > 0) return static_cast<std::size_t>(got) * source->frame_bytes;
  if (got < 0 && got != -EAGAIN && source->capturing) Recover(source, got);
  return 0;
}

void WaitForCaptureSource(CaptureSource* source, bool capturing) {
  pollfd wake = {source->wake_fd, POLLIN, 0};
  if (::poll(&wake, 1, capturing && !source->broken ? source->next_wait_ms : -1) <= 0) return;
  std::uint64_t wakes = 0;
  while (::read(source->wake_fd, &wakes, sizeof wakes) < 0 && errno == EINTR) {
  }
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
  pthread_setname_np(pthread_self(), "tarnwick-rec");
  snd_lib_error_set_local(&DiscardAlsaMessage);
}

}  // namespace tarnwick
