#pragma once
// The ALSA side of capture: opening and configuring the default capture PCM,
// reading it without blocking, recovering it after overruns and suspends, and
// translating ALSA's errors into waveIn results. Nothing here knows about
// WAVEHDRs or threads; the caller decides who touches the PCM when.
//
// Every function here keeps ALSA's own error messages off stderr (see
// QuietAlsa), so that the library prints nothing.

#include <alsa/asoundlib.h>

#include "wave_in.h"

namespace tarnwick::alsa {

// Silences ALSA's error messages on the current thread for the lifetime of the
// guard, then puts back whatever handler the thread had. Thread-local, so that
// an application that uses ALSA itself on other threads keeps its messages.
class QuietAlsa {
 public:
  QuietAlsa();
  ~QuietAlsa();
  QuietAlsa(const QuietAlsa&) = delete;
  QuietAlsa& operator=(const QuietAlsa&) = delete;

 private:
  snd_local_error_handler_t previous_;
};

// What the open PCM turned out to be; the sizes are in frames.
struct CaptureGeometry {
  snd_pcm_uframes_t buffer_frames;
  snd_pcm_uframes_t period_frames;
};

// Opens ALSA's `default` capture PCM non-blocking and sets it to exactly the
// format, channels and rate of `format` (which the caller has validated),
// interleaved. The rate must be exact: a PCM that cannot give it (after its own
// plug conversion, if it has one) is refused with WAVERR_BADFORMAT. The ring
// buffer is the largest the PCM allows up to kTargetBufferSeconds, so that a
// reader that stalls for a couple of seconds loses nothing; the period is about
// kTargetPeriodMs. The PCM never starts by itself: StartCapture starts it.
// On failure nothing stays open and *pcm is null.
inline constexpr unsigned kTargetBufferSeconds = 3;
inline constexpr unsigned kTargetPeriodMs = 50;
MMRESULT OpenCapturePcm(const WAVEFORMATEX& format, snd_pcm_t** pcm, CaptureGeometry* geometry);

// Prepares the PCM if it is not already prepared, and starts it.
MMRESULT StartCapture(snd_pcm_t* pcm);

// The outcome of one non-blocking read.
enum class ReadStatus {
  kFrames,      // `frames` frames were read
  kEmpty,       // nothing to read now: wait for the PCM's descriptors
  kRecovered,   // an overrun or suspend was repaired; the stream goes on
  kRetryLater,  // the device is still resuming from a suspend: try again soon
  kBroken,      // the device is gone or cannot be restarted
};

// Reads up to `max_frames` frames into `buffer`, repairing overruns (-EPIPE)
// and suspends (-ESTRPIPE) on the way: data lost in an overrun stays lost, but
// the stream keeps running.
ReadStatus ReadFrames(snd_pcm_t* pcm, void* buffer, snd_pcm_uframes_t max_frames, snd_pcm_uframes_t* frames);

// Repairs the stream after the PCM's descriptors reported an error without a
// read telling why (some plugins only report it there).
ReadStatus RepairAfterPollError(snd_pcm_t* pcm);

// The waveIn result for an error from snd_pcm_open.
MMRESULT ResultFromOpenError(int error);

}  // namespace tarnwick::alsa
