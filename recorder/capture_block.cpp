// The capture cycle: each buffer the device fills becomes one block of the
// file. Runs on the device's thread, takes no lock.

#include <algorithm>
#include <cstring>

#include "recorder.h"
#include "recorder_state.h"

namespace tarnwick {

void OnCaptureBlock(HWAVEIN device, UINT message, DWORD_PTR /*instance*/, DWORD_PTR /*param1*/, DWORD_PTR /*param2*/) {
  if (message != WIM_DATA) return;  // open and close notices
  RecorderState& r = g_recorder;

  // The only work while no buffer is queued: take the samples aside, and pad a
  // buffer handed back part-full at Stop with silence.
  const std::size_t filled = std::min<std::size_t>(r.buffer_header.dwBytesRecorded, kBlockBytes);
  std::memcpy(r.CopyBuffer, r.CaptureBuffer, filled);
  std::memset(r.CopyBuffer + filled, 0, kBlockBytes - filled);
  r.buffer_header.dwBytesRecorded = 0;
  if (!r.stopping.load(std::memory_order_acquire)) {
    r.capture->add_buffer(device, &r.buffer_header, sizeof(WAVEHDR));
  }

  if (r.BlockCount >= kMaxBlocks) return;  // the header could not state a longer file
  const std::uint64_t at = kWavHeaderBytes + static_cast<std::uint64_t>(r.BlockCount) * kBlockBytes;
  if (!r.files->write_at(r.file, at, r.CopyBuffer, kBlockBytes)) {
    // Keep only whole blocks, so the header and the content always agree.
    r.files->truncate(r.file, at);
    return;
  }
  ++r.BlockCount;
  // Bring the sizes up to date: a recording cut off here, by a crash or a
  // power loss, is a valid file holding every whole block. Should this write
  // fail, the next block's, or Stop's, tries again.
  WriteRecordingHeader(r, r.BlockCount);
}

bool WriteRecordingHeader(RecorderState& r, std::int32_t blocks) {
  FillPcmHeader(r.header, kRecordingChannels, kRecordingRate, kRecordingBits,
                static_cast<std::uint32_t>(blocks) * kBlockBytes);
  if (!r.files->write_at(r.file, 0, r.header.bytes, sizeof r.header.bytes)) return false;
  r.header_blocks = blocks;
  return true;
}

}  // namespace tarnwick
