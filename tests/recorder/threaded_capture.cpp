#include "threaded_capture.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace tarnwick::test {
namespace {

struct Device {
  std::mutex lock;
  std::condition_variable wake;
  std::thread thread;
  WaveInProc callback = nullptr;
  WAVEHDR* queued = nullptr;
  bool running = false;
  bool quit = false;
};

Device g_device;  // one device at a time, as the recorder uses it
std::chrono::microseconds g_fill_period{2000};
int g_handle;

HWAVEIN Handle() { return reinterpret_cast<HWAVEIN>(&g_handle); }

// Hands `header` back with `bytes` recorded; called without the lock held.
void HandBack(WAVEHDR* header, DWORD bytes) {
  std::memset(header->lpData, 0x5A, bytes);
  header->dwBytesRecorded = bytes;
  header->dwFlags = (header->dwFlags | WHDR_DONE) & ~WHDR_INQUEUE;
  g_device.callback(Handle(), WIM_DATA, 0, reinterpret_cast<DWORD_PTR>(header), 0);
}

void Run() {
  std::unique_lock<std::mutex> held(g_device.lock);
  while (true) {
    g_device.wake.wait_for(held, g_fill_period, [] { return g_device.quit; });
    if (g_device.quit) break;
    if (!g_device.running || g_device.queued == nullptr) continue;
    WAVEHDR* header = g_device.queued;
    g_device.queued = nullptr;
    held.unlock();
    HandBack(header, header->dwBufferLength);
    held.lock();
  }
  // Stopping: the buffer in progress comes back once, part-filled.
  if (WAVEHDR* header = g_device.queued) {
    g_device.queued = nullptr;
    held.unlock();
    HandBack(header, 1000);
  }
}

MMRESULT Open(HWAVEIN* device, UINT, const WAVEFORMATEX*, DWORD_PTR callback, DWORD_PTR, DWORD) {
  g_device.callback = reinterpret_cast<WaveInProc>(callback);
  g_device.quit = false;
  g_device.running = false;
  g_device.queued = nullptr;
  // A pointer, not the function itself: on Thumb code a function's address
  // carries the mode in its low bit, and UBSan would take the reference
  // std::thread binds to it for a misaligned one.
  g_device.thread = std::thread(&Run);
  *device = Handle();
  return MMSYSERR_NOERROR;
}

MMRESULT Prepare(HWAVEIN, WAVEHDR* header, UINT) {
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT Unprepare(HWAVEIN, WAVEHDR* header, UINT) {
  std::lock_guard<std::mutex> held(g_device.lock);
  if (g_device.queued == header) return MMSYSERR_ERROR;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT Add(HWAVEIN, WAVEHDR* header, UINT) {
  std::lock_guard<std::mutex> held(g_device.lock);
  header->dwFlags |= WHDR_INQUEUE;
  g_device.queued = header;
  return MMSYSERR_NOERROR;
}

MMRESULT Start(HWAVEIN) {
  std::lock_guard<std::mutex> held(g_device.lock);
  g_device.running = true;
  return MMSYSERR_NOERROR;
}

// Returns once the device's thread, and any callback it was in, is done.
MMRESULT Stop(HWAVEIN) {
  {
    std::lock_guard<std::mutex> held(g_device.lock);
    g_device.quit = true;
  }
  g_device.wake.notify_all();
  if (g_device.thread.joinable()) g_device.thread.join();
  return MMSYSERR_NOERROR;
}

MMRESULT Close(HWAVEIN device) {
  Stop(device);
  g_device.queued = nullptr;
  return MMSYSERR_NOERROR;
}

constexpr CaptureOps kThreaded = {Open, Prepare, Unprepare, Add, Start, Stop, Close};

}  // namespace

const CaptureOps& ThreadedCaptureOps() { return kThreaded; }
void SetFillPeriod(std::chrono::microseconds period) { g_fill_period = period; }

}  // namespace tarnwick::test
