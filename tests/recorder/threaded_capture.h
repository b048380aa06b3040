#pragma once
// A capture device with a thread of its own, as a real one has: once started
// it hands the queued buffer back full every `fill_period`, and at stop hands
// back the buffer in progress, part-filled, before stop returns. For stress
// tests of the recorder's threads; samples are a running 16-bit counter.

#include <chrono>

#include "wave_in.h"

namespace tarnwick::test {

const CaptureOps& ThreadedCaptureOps();

// How long the device takes to fill a buffer.
void SetFillPeriod(std::chrono::microseconds period);

}  // namespace tarnwick::test
