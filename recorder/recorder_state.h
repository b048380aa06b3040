#pragma once
// The recorder's module-global state: one recording at a time, all of it in
// static storage, nothing allocated while recording.

#include <atomic>
#include <cstdint>

#include "file_ops.h"
#include "recording_format.h"
#include "wav_header.h"
#include "wave_in.h"

namespace tarnwick {

struct RecorderState {
  // The header as last written: an empty recording's at Start, brought up to
  // date after every block, the finished one at Stop.
  WAVHeader header;
  FileHandle file = kNoFile;  // the recording file from Start to Stop; kNoFile when idle
  HWAVEIN device = nullptr;   // from the device open in Start to the close in Stop
  WAVEHDR buffer_header;
  alignas(16) char CaptureBuffer[kBlockBytes];  // the one buffer the device fills
  alignas(16) char CopyBuffer[kBlockBytes];     // a filled buffer on its way to the file
  // Blocks in the file. Written only by the capture callback while the device
  // runs; read by Stop after the device has stopped, which orders the two.
  std::int32_t BlockCount;
  // Blocks the header on disk states: BlockCount, unless a header write failed.
  std::int32_t header_blocks;

  // The platform in use for this recording.
  const FileOps* files;
  const CaptureOps* capture;
  // Set when Stop begins: the callback then writes what it is handed but no
  // longer gives the buffer back to the device.
  std::atomic<bool> stopping;
};

// The one recorder of the loaded library.
extern RecorderState g_recorder;

// Fills in the header for `blocks` blocks and writes it at the head of the
// recording file; remembers what the file now states when that succeeds.
bool WriteRecordingHeader(RecorderState& r, std::int32_t blocks);

}  // namespace tarnwick
