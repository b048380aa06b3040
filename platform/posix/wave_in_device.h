#pragma once
// The record behind an HWAVEIN on Linux, shared by the waveIn functions and the
// capture thread.
//
// Ownership and threads: waveInOpen allocates the record, opens the PCM and
// starts the capture thread; from then on only the capture thread touches the
// PCM, and it closes it when told to quit. waveInClose joins the thread and
// frees the record. The queue of WAVEHDRs, their flags and the request
// hand-shake are guarded by `lock`; the application's callback is always
// called with `lock` released, from the capture thread.

#include <alsa/asoundlib.h>
#include <poll.h>
#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "alsa_capture_pcm.h"
#include "wave_in.h"

namespace tarnwick {

// What a control call asks of the capture thread. The caller waits until the
// thread has done it, and for kStop until the callbacks it caused have
// returned. kQuit is not answered: the caller joins the thread instead.
enum class CaptureRequest { kNone, kStart, kStop, kQuit };

struct WaveInDevice {
  WaveInDevice() = default;
  ~WaveInDevice();
  WaveInDevice(const WaveInDevice&) = delete;
  WaveInDevice& operator=(const WaveInDevice&) = delete;

  // Fixed at open.
  WaveInProc callback = nullptr;
  DWORD_PTR instance = 0;
  DWORD frame_bytes = 0;
  alsa::CaptureGeometry geometry{};
  int wake_fd = -1;            // eventfd: a control call wakes the thread through it
  pollfd* poll_fds = nullptr;  // [0] is wake_fd, then the PCM's descriptors
  unsigned pcm_fd_count = 0;
  pthread_t thread{};

  // The capture thread's alone once it runs (waveInOpen's before, and the
  // destructor's if the thread never started).
  snd_pcm_t* pcm = nullptr;
  bool running = false;         // the PCM is started
  bool broken = false;          // the PCM failed beyond repair: only stop and close still act
  unsigned char scratch[4096];  // where sound goes while no buffer is queued

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
  bool thread_ready = false;  // WIM_OPEN has been delivered
};

// The capture thread's body; `argument` is the WaveInDevice.
void* CaptureThreadMain(void* argument);

// True on the capture thread of `device`, including inside its callbacks:
// there, a call that waits for that thread would wait for itself.
bool OnCaptureThreadOf(const WaveInDevice* device);

}  // namespace tarnwick
