// Opening, configuring, reading and repairing the default ALSA capture PCM.

#include "alsa_capture_pcm.h"

#include "alsa_local_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>

namespace tarnwick::alsa {
namespace {

void DiscardAlsaMessage(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
                        const char* /*format*/, va_list /*arguments*/) {}

// Errors while choosing the PCM's parameters: EINVAL there means the device
// cannot take what was asked for.
MMRESULT ResultFromConfigureError(int error) {
  if (error == -EINVAL) return WAVERR_BADFORMAT;
  return ResultFromOpenError(error);
}

snd_pcm_format_t SampleFormat(const WAVEFORMATEX& format) {
  return format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
}

// Access, sample format, channels and rate, all exact. The default PCM is
// normally a plug chain that converts and resamples; resampling is asked for
// explicitly so that a configuration that turned it off by default still
// gets the exact rate where it can.
MMRESULT ChooseFormat(snd_pcm_t* pcm, snd_pcm_hw_params_t* hw, const WAVEFORMATEX& format) {
  if (snd_pcm_hw_params_any(pcm, hw) < 0) return WAVERR_BADFORMAT;
  snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
  if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
      snd_pcm_hw_params_set_format(pcm, hw, SampleFormat(format)) < 0 ||
      snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels) < 0 ||
      snd_pcm_hw_params_set_rate(pcm, hw, format.nSamplesPerSec, 0) < 0) {
    return WAVERR_BADFORMAT;
  }
  return MMSYSERR_NOERROR;
}

// The ring buffer absorbs the time the capture thread spends in the
// application's callback: nobody reads the PCM meanwhile.
MMRESULT ChooseSizes(snd_pcm_t* pcm, snd_pcm_hw_params_t* hw, unsigned rate) {
  snd_pcm_uframes_t largest = 0;
  if (snd_pcm_hw_params_get_buffer_size_max(hw, &largest) < 0) return MMSYSERR_ERROR;
  snd_pcm_uframes_t buffer = std::min<snd_pcm_uframes_t>(largest, snd_pcm_uframes_t{rate} * kTargetBufferSeconds);
  if (snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer) < 0) return MMSYSERR_ERROR;
  snd_pcm_uframes_t period = std::max<snd_pcm_uframes_t>(1, snd_pcm_uframes_t{rate} * kTargetPeriodMs / 1000);
  int direction = 0;
  if (snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &direction) < 0) return MMSYSERR_ERROR;
  return MMSYSERR_NOERROR;
}

// Wakes the reader once a period is there, never starts the stream by itself
// (StartCapture does), and stops it on an overrun so that ReadFrames sees and
// repairs it.
MMRESULT ChooseSoftware(snd_pcm_t* pcm, const CaptureGeometry& geometry) {
  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_sw_params_alloca(&sw);
  snd_pcm_uframes_t boundary = 0;
  int error = snd_pcm_sw_params_current(pcm, sw);
  if (error == 0) error = snd_pcm_sw_params_get_boundary(sw, &boundary);
  if (error == 0) error = snd_pcm_sw_params_set_avail_min(pcm, sw, geometry.period_frames);
  if (error == 0) error = snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary);
  if (error == 0) error = snd_pcm_sw_params_set_stop_threshold(pcm, sw, geometry.buffer_frames);
  if (error == 0) error = snd_pcm_sw_params(pcm, sw);
  return error == 0 ? MMSYSERR_NOERROR : ResultFromOpenError(error);
}

MMRESULT Configure(snd_pcm_t* pcm, const WAVEFORMATEX& format, CaptureGeometry* geometry) {
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  MMRESULT result = ChooseFormat(pcm, hw, format);
  if (result == MMSYSERR_NOERROR) result = ChooseSizes(pcm, hw, format.nSamplesPerSec);
  if (result != MMSYSERR_NOERROR) return result;
  if (int error = snd_pcm_hw_params(pcm, hw); error < 0) return ResultFromConfigureError(error);
  int direction = 0;
  if (snd_pcm_hw_params_get_buffer_size(hw, &geometry->buffer_frames) < 0 ||
      snd_pcm_hw_params_get_period_size(hw, &geometry->period_frames, &direction) < 0) {
    return MMSYSERR_ERROR;
  }
  return ChooseSoftware(pcm, *geometry);
}

// After an overrun the stream is stopped; it is prepared and started again at
// once, so that capture goes on with the current sound.
ReadStatus Restart(snd_pcm_t* pcm) {
  if (snd_pcm_prepare(pcm) < 0 || snd_pcm_start(pcm) < 0) return ReadStatus::kBroken;
  return ReadStatus::kRecovered;
}

ReadStatus Recover(snd_pcm_t* pcm, long error) {
  if (error == -EPIPE) return Restart(pcm);
  if (error == -ESTRPIPE) {
    // Resuming can take a while; the capture thread must stay responsive to
    // stop and close, so it polls instead of sleeping here.
    int resumed = snd_pcm_resume(pcm);
    if (resumed == -EAGAIN) return ReadStatus::kRetryLater;
    // Some plugins report success without running again: only the state
    // tells. A device that cannot resume is started afresh.
    if (resumed == 0 && snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING) return ReadStatus::kRecovered;
    return Restart(pcm);
  }
  return ReadStatus::kBroken;
}

}  // namespace

QuietAlsa::QuietAlsa() : previous_(tarnwick_alsa_set_local_errors(&DiscardAlsaMessage)) {}

QuietAlsa::~QuietAlsa() { tarnwick_alsa_set_local_errors(previous_); }

MMRESULT ResultFromOpenError(int error) {
  switch (error) {
    case -ENOENT:
    case -ENODEV:
    case -ENXIO: return MMSYSERR_BADDEVICEID;
    case -EBUSY: return MMSYSERR_ALLOCATED;
    case -ENOMEM: return MMSYSERR_NOMEM;
    default: return MMSYSERR_ERROR;
  }
}

MMRESULT OpenCapturePcm(const WAVEFORMATEX& format, snd_pcm_t** pcm, CaptureGeometry* geometry) {
  QuietAlsa quiet;
  *pcm = nullptr;
  snd_pcm_t* opened = nullptr;
  if (int error = snd_pcm_open(&opened, "default", SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK); error < 0) {
    return ResultFromOpenError(error);
  }
  MMRESULT result = Configure(opened, format, geometry);
  if (result != MMSYSERR_NOERROR) {
    snd_pcm_close(opened);
    return result;
  }
  *pcm = opened;
  return MMSYSERR_NOERROR;
}

MMRESULT StartCapture(snd_pcm_t* pcm) {
  QuietAlsa quiet;
  int error = 0;
  if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED) error = snd_pcm_prepare(pcm);
  if (error == 0) error = snd_pcm_start(pcm);
  return error == 0 ? MMSYSERR_NOERROR : ResultFromOpenError(error);
}

ReadStatus ReadFrames(snd_pcm_t* pcm, void* buffer, snd_pcm_uframes_t max_frames, snd_pcm_uframes_t* frames) {
  QuietAlsa quiet;
  *frames = 0;
  snd_pcm_sframes_t got;
  do {
    got = snd_pcm_readi(pcm, buffer, max_frames);
  } while (got == -EINTR);
  if (got > 0) {
    *frames = static_cast<snd_pcm_uframes_t>(got);
    return ReadStatus::kFrames;
  }
  if (got == 0 || got == -EAGAIN) return ReadStatus::kEmpty;
  return Recover(pcm, got);
}

ReadStatus RepairAfterPollError(snd_pcm_t* pcm) {
  QuietAlsa quiet;
  // Brings the state up to date first: some devices notice an overrun only
  // when asked for their position.
  const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm);
  if (avail == -EPIPE || avail == -ESTRPIPE) return Recover(pcm, avail);
  switch (snd_pcm_state(pcm)) {
    case SND_PCM_STATE_XRUN: return Recover(pcm, -EPIPE);
    case SND_PCM_STATE_SUSPENDED: return Recover(pcm, -ESTRPIPE);
    case SND_PCM_STATE_RUNNING:
    case SND_PCM_STATE_PREPARED:
      // Nothing to repair; the descriptors may keep saying so, so the caller
      // waits a little before it looks again rather than spinning.
      return ReadStatus::kRetryLater;
    default: return ReadStatus::kBroken;
  }
}

}  // namespace tarnwick::alsa
