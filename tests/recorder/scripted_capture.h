#pragma once
// A capture device driven by the test: the test decides when the queued
// buffer comes back, how full, and which call fails. Callbacks run on the
// test's own thread, so nothing here sleeps or races.

#include <cstdint>

#include "wave_in.h"

namespace tarnwick::test {

struct ScriptedDevice {
  // Results the next calls return.
  MMRESULT open_result = MMSYSERR_NOERROR;
  MMRESULT add_result = MMSYSERR_NOERROR;
  MMRESULT start_result = MMSYSERR_NOERROR;
  MMRESULT stop_result = MMSYSERR_NOERROR;
  MMRESULT unprepare_result = MMSYSERR_NOERROR;
  MMRESULT close_result = MMSYSERR_NOERROR;  // the device is released all the same
  // Bytes of samples in the buffer when capture stops; 0 leaves it queued.
  DWORD filled_at_stop = 0;

  // What the recorder did.
  WaveInProc callback = nullptr;
  WAVEHDR* queued = nullptr;
  int opens = 0, adds = 0, starts = 0, stops = 0, unprepares = 0, closes = 0;
  bool is_open = false;
  HWAVEIN last_add_device = nullptr;
  std::uint8_t next_sample_byte = 0;  // the ramp the device fills buffers with
};

// The device's state; reset for each test.
ScriptedDevice& Device();
void ResetDevice();

const CaptureOps& ScriptedCaptureOps();

// The handle open returns, and another one the device may hand to the
// callback instead: the callback must queue again on the handle it is given.
HWAVEIN ScriptedHandle();
HWAVEIN OtherScriptedHandle();

// Fills the queued buffer with `bytes` bytes of the ramp and hands it back
// through the callback on `handle`, as the device does. False if nothing is
// queued.
bool DeliverBuffer(DWORD bytes, HWAVEIN handle = ScriptedHandle());

}  // namespace tarnwick::test
