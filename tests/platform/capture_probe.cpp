#include "capture_probe.h"

#include <cstring>

namespace tarnwick::test {

WAVEFORMATEX RecorderFormat() {
  return {WAVE_FORMAT_PCM,
          kRecordingChannels,
          kRecordingRate,
          kRecordingRate * kRecordingFrameBytes,
          kRecordingFrameBytes,
          kRecordingBits,
          0};
}

CaptureProbe::CaptureProbe(int buffer_count, DWORD block_bytes)
    : buffers_(static_cast<std::size_t>(buffer_count), std::vector<char>(block_bytes)),
      headers_(static_cast<std::size_t>(buffer_count)) {
  for (std::size_t i = 0; i < headers_.size(); ++i) {
    headers_[i] = WAVEHDR{};
    headers_[i].lpData = buffers_[i].data();
    headers_[i].dwBufferLength = block_bytes;
  }
  samples_.reserve(std::size_t{kRecordingRate} * 8);
}

CaptureProbe::~CaptureProbe() { Close(); }

MMRESULT CaptureProbe::Open(const WAVEFORMATEX& format) {
  return waveInOpen(&device_, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(&Proc),
                    reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
}

MMRESULT CaptureProbe::Queue(int buffer) {
  WAVEHDR& chosen = header(buffer);
  if ((chosen.dwFlags & WHDR_PREPARED) == 0) {
    if (MMRESULT result = waveInPrepareHeader(device_, &chosen, sizeof chosen); result != MMSYSERR_NOERROR) {
      return result;
    }
  }
  return waveInAddBuffer(device_, &chosen, sizeof chosen);
}

MMRESULT CaptureProbe::Close() {
  if (device_ == nullptr) return MMSYSERR_NOERROR;
  MMRESULT result = waveInClose(device_);
  if (result == MMSYSERR_NOERROR) device_ = nullptr;
  return result;
}

void CaptureProbe::Proc(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR /*param2*/) {
  // The API passes the instance and the header as integers.
  auto* probe = reinterpret_cast<CaptureProbe*>(instance);                // NOLINT(performance-no-int-to-ptr)
  probe->OnMessage(device, message, reinterpret_cast<WAVEHDR*>(param1));  // NOLINT(performance-no-int-to-ptr)
}

void CaptureProbe::OnMessage(HWAVEIN device, UINT message, WAVEHDR* header) {
  std::size_t index = 0;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (message != WIM_DATA) return;
    index = blocks_.size();
    blocks_.push_back({header->dwBytesRecorded, header->dwFlags, Clock::now()});
    const std::size_t count = header->dwBytesRecorded / 2;
    const std::size_t start = samples_.size();
    samples_.resize(start + count);
    std::memcpy(samples_.data() + start, header->lpData, count * 2);
  }
  header->dwBytesRecorded = 0;
  if (requeue) {
    MMRESULT result = waveInAddBuffer(device, header, sizeof *header);
    std::lock_guard<std::mutex> hold(mutex_);
    requeue_results_.push_back(result);
  }
  if (inside_callback) inside_callback(index);
  arrived_.notify_all();
}

bool CaptureProbe::WaitForBlocks(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> hold(mutex_);
  return arrived_.wait_for(hold, limit, [&] { return blocks_.size() >= count; });
}

std::size_t CaptureProbe::BlockCount() {
  std::lock_guard<std::mutex> hold(mutex_);
  return blocks_.size();
}

std::vector<CaptureProbe::Block> CaptureProbe::Blocks() {
  std::lock_guard<std::mutex> hold(mutex_);
  return blocks_;
}

std::vector<std::int16_t> CaptureProbe::Samples() {
  std::lock_guard<std::mutex> hold(mutex_);
  return samples_;
}

std::vector<MMRESULT> CaptureProbe::RequeueResults() {
  std::lock_guard<std::mutex> hold(mutex_);
  return requeue_results_;
}

}  // namespace tarnwick::test
