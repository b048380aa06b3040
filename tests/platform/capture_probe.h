#pragma once
// A recorder as the capture layer's caller writes it, instrumented: it opens
// the default device at the recording format, keeps its own WAVEHDR, and its
// callback copies each handed-back buffer, clears dwBytesRecorded and queues
// the buffer again from inside the callback. Everything it sees is kept for
// the test to check afterwards.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "recording_format.h"
#include "wave_in.h"

namespace tarnwick::test {

WAVEFORMATEX RecorderFormat();

class CaptureProbe {
 public:
  using Clock = std::chrono::steady_clock;

  struct Block {
    DWORD bytes;
    DWORD flags;  // as the callback found them
    Clock::time_point when;
  };

  explicit CaptureProbe(int buffer_count = 1, DWORD block_bytes = kBlockBytes);
  ~CaptureProbe();  // closes the device if the test did not
  CaptureProbe(const CaptureProbe&) = delete;
  CaptureProbe& operator=(const CaptureProbe&) = delete;

  // Behaviour of the callback; set before Start.
  bool requeue = true;
  // Runs inside the callback for WIM_DATA number `index` (0-based), after the
  // buffer was queued again: a stall, or calls that must fail there.
  std::function<void(std::size_t index)> inside_callback;

  MMRESULT Open(const WAVEFORMATEX& format = RecorderFormat());
  MMRESULT Queue(int buffer);  // prepares it if needed, then adds it
  MMRESULT Close();
  HWAVEIN device() const { return device_; }
  WAVEHDR& header(int buffer) { return headers_[static_cast<std::size_t>(buffer)]; }

  // Waits until `count` WIM_DATA have arrived; false after `limit`.
  bool WaitForBlocks(std::size_t count, std::chrono::milliseconds limit);

  std::size_t BlockCount();
  std::vector<Block> Blocks();
  std::vector<std::int16_t> Samples();  // all handed-back data, in order
  std::vector<MMRESULT> RequeueResults();

 private:
  static void Proc(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
  void OnMessage(HWAVEIN device, UINT message, WAVEHDR* header);

  HWAVEIN device_ = nullptr;
  std::vector<std::vector<char>> buffers_;
  std::vector<WAVEHDR> headers_;

  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Block> blocks_;
  std::vector<std::int16_t> samples_;
  std::vector<MMRESULT> requeue_results_;
};

}  // namespace tarnwick::test
