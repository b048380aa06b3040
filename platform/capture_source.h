#pragma once
// What each OS provides under the waveIn functions: the default capture device
// as a stream of 16-bit samples in the format waveInOpen was given. The buffer queue, the flags, the
// capture thread and the callbacks are the same everywhere (wave_in_queue.cpp)
// and sit on top of this.
//
// Threads: Open runs on the caller of waveInOpen before the capture thread
// exists, Close after it has ended. Start, Stop, Read and Wait run only on the
// capture thread; Wake may run on any thread at any time in between.

#include <cstddef>

#include "wave_in.h"

namespace tarnwick {

struct CaptureSource;  // one per open device, defined by each OS

// Opens the default capture device at `format` (16-bit PCM, checked by the
// caller), not yet capturing. Results as waveInOpen's; on failure nothing
// stays open.
MMRESULT OpenCaptureSource(const WAVEFORMATEX& format, CaptureSource** source);
void CloseCaptureSource(CaptureSource* source);

// Starts capturing; the device keeps what arrives until Read takes it, for a
// couple of seconds at least.
MMRESULT StartCaptureSource(CaptureSource* source);

// Ends capture at this moment: Read still returns the sound captured up to
// here, then nothing until the next Start.
void StopCaptureSource(CaptureSource* source);

// Copies up to `capacity` bytes (whole samples) of captured sound into `into`
// without waiting; 0 when nothing is there now. A device that fails is
// repaired here where it can be; sound lost meanwhile stays lost.
std::size_t ReadCaptureSource(CaptureSource* source, char* into, std::size_t capacity);

// Sleeps until Read may have more, or Wake is called (also before this call).
void WaitForCaptureSource(CaptureSource* source);
void WakeCaptureSource(CaptureSource* source);

// Runs first on every capture thread: on POSIX it keeps the application's
// signals off the thread.
void EnterCaptureThread();

}  // namespace tarnwick
