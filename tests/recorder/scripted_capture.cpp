#include "scripted_capture.h"

namespace tarnwick::test {
namespace {

ScriptedDevice g_device;
int g_handle_storage[2];

MMRESULT Open(HWAVEIN* device, UINT, const WAVEFORMATEX* format, DWORD_PTR callback, DWORD_PTR, DWORD flags) {
  ++g_device.opens;
  if (g_device.open_result != MMSYSERR_NOERROR) return g_device.open_result;
  if (format->nSamplesPerSec != 8000 || format->wBitsPerSample != 16 || format->nChannels != 1 ||
      flags != CALLBACK_FUNCTION) {
    return MMSYSERR_ERROR;
  }
  g_device.callback = reinterpret_cast<WaveInProc>(callback);
  g_device.is_open = true;
  *device = ScriptedHandle();
  g_device.callback(*device, WIM_OPEN, 0, 0, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT Prepare(HWAVEIN, WAVEHDR* header, UINT) {
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT Unprepare(HWAVEIN, WAVEHDR* header, UINT) {
  ++g_device.unprepares;
  if (g_device.unprepare_result != MMSYSERR_NOERROR) return g_device.unprepare_result;
  if (g_device.queued == header) return MMSYSERR_ERROR;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT Add(HWAVEIN device, WAVEHDR* header, UINT) {
  ++g_device.adds;
  g_device.last_add_device = device;
  if (g_device.add_result != MMSYSERR_NOERROR) return g_device.add_result;
  g_device.queued = header;
  return MMSYSERR_NOERROR;
}

MMRESULT Start(HWAVEIN) {
  ++g_device.starts;
  return g_device.start_result;
}

MMRESULT Stop(HWAVEIN) {
  ++g_device.stops;
  if (g_device.stop_result != MMSYSERR_NOERROR) return g_device.stop_result;
  if (g_device.filled_at_stop > 0) DeliverBuffer(g_device.filled_at_stop);
  return MMSYSERR_NOERROR;
}

MMRESULT Close(HWAVEIN device) {
  ++g_device.closes;
  g_device.callback(device, WIM_CLOSE, 0, 0, 0);
  g_device.is_open = false;
  g_device.queued = nullptr;  // the device is released whatever is queued
  return g_device.close_result;
}

constexpr CaptureOps kScripted = {Open, Prepare, Unprepare, Add, Start, Stop, Close};

}  // namespace

ScriptedDevice& Device() { return g_device; }
void ResetDevice() { g_device = ScriptedDevice{}; }
const CaptureOps& ScriptedCaptureOps() { return kScripted; }
HWAVEIN ScriptedHandle() { return reinterpret_cast<HWAVEIN>(&g_handle_storage[0]); }
HWAVEIN OtherScriptedHandle() { return reinterpret_cast<HWAVEIN>(&g_handle_storage[1]); }

bool DeliverBuffer(DWORD bytes, HWAVEIN handle) {
  WAVEHDR* header = g_device.queued;
  if (header == nullptr) return false;
  g_device.queued = nullptr;
  for (DWORD i = 0; i < bytes; ++i) header->lpData[i] = static_cast<char>(g_device.next_sample_byte++);
  header->dwBytesRecorded = bytes;
  header->dwFlags |= WHDR_DONE;
  g_device.callback(handle, WIM_DATA, 0, reinterpret_cast<DWORD_PTR>(header), 0);
  return true;
}

}  // namespace tarnwick::test
