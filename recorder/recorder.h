#pragma once
// Recording the default audio input into an 8 kHz, 16-bit, mono WAV file.

#include <cstdint>

#include "file_ops.h"
#include "wave_in.h"

namespace tarnwick {

// Results as SoundRecorderStart documents them.
// Creates (or empties) the file at `path`, writes the header of an empty
// recording, opens the default capture device and starts capture. A recording
// still open from an earlier Start is first finished as StopRecording would.
// Called from the host's threads; serialised with StopRecording.
std::int32_t StartRecording(const FileOps& files, const CaptureOps& capture, const char16_t* path);

// Stops and releases the device, writes the finished header and closes the
// file. Returns the number of one-second blocks in the file; 0, touching
// nothing, when no recording is open.
std::int32_t StopRecording();

// Runs on the capture device's own thread whenever it has something to
// report. Must not block before the buffer is queued again: until then the
// device has nowhere to put samples.
void OnCaptureBlock(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

}  // namespace tarnwick
