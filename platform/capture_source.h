#pragma once
// What each OS provides under the waveIn calls: the default capture device as
// a stream of samples in the format it was opened at. The capture thread, the
// queued buffer and the stop with its drain are wave_in.cpp's, the same on
// every OS.
//
// Threads: Open runs before the capture thread exists and Close after it has
// ended. Wait runs on the capture thread alone and touches nothing but the
// OS's wait; Wake may run on any thread at any time. Everything else runs
// under the device's lock, so never on two threads at once.

#include <cstddef>

#include "wave_in.h"

namespace tarnwick {

struct CaptureSource;  // one per open device, defined by each OS

// Opens the default capture device at `format` (16-bit PCM), not yet
// capturing; false when it cannot, with nothing left open.
bool OpenCaptureSource(const WAVEFORMATEX& format, CaptureSource** source);
void CloseCaptureSource(CaptureSource* source);

// Starts capturing. The device keeps what arrives until it is read, three
// seconds of it at least.
bool StartCaptureSource(CaptureSource* source);

// Ends capture at this moment: returns how many bytes captured up to here are
// still to be read, all of them readable at once through Read. Nothing
// captured later is ever read.
std::size_t StopCaptureSource(CaptureSource* source);

// Copies captured sound into `into`, at most `capacity` bytes, without
// waiting; 0 when there is none. While capturing it takes whole periods of
// the device, or what fills the buffer, so that the wake-ups that follow fall
// on period boundaries, as block boundaries do; after a stop it takes what is
// there. A
// device that fails is repaired here where it can be; sound lost meanwhile
// stays lost.
std::size_t ReadCaptureSource(CaptureSource* source, char* into, std::size_t capacity);

// Sleeps until a period more may be there to read (while `capturing`), or
// until Wake is called, also before this call.
void WaitForCaptureSource(CaptureSource* source, bool capturing);
void WakeCaptureSource(CaptureSource* source);

// Runs first on every capture thread: it names the thread, and on POSIX keeps
// the application's signals off it.
void EnterCaptureThread();

}  // namespace tarnwick
