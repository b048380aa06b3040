// A capture layer without a device: every open reports that there is no
// driver, so SoundRecorderStart returns 1 and nothing else is ever called on
// a handle. Stands in on Windows until capture goes through winmm.

#include "wave_in.h"

namespace tarnwick {

MMRESULT waveInOpen(HWAVEIN* device, UINT, const WAVEFORMATEX*, DWORD_PTR, DWORD_PTR, DWORD) {
  if (device != nullptr) *device = nullptr;
  return MMSYSERR_NODRIVER;
}
MMRESULT waveInPrepareHeader(HWAVEIN, WAVEHDR*, UINT) { return MMSYSERR_INVALHANDLE; }
MMRESULT waveInUnprepareHeader(HWAVEIN, WAVEHDR*, UINT) { return MMSYSERR_INVALHANDLE; }
MMRESULT waveInAddBuffer(HWAVEIN, WAVEHDR*, UINT) { return MMSYSERR_INVALHANDLE; }
MMRESULT waveInStart(HWAVEIN) { return MMSYSERR_INVALHANDLE; }
MMRESULT waveInStop(HWAVEIN) { return MMSYSERR_INVALHANDLE; }
MMRESULT waveInClose(HWAVEIN) { return MMSYSERR_INVALHANDLE; }

const CaptureOps& NativeCaptureOps() {
  static constexpr CaptureOps kOps = {
      waveInOpen, waveInPrepareHeader, waveInUnprepareHeader, waveInAddBuffer, waveInStart, waveInStop, waveInClose};
  return kOps;
}

}  // namespace tarnwick
