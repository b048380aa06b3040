#pragma once
// The one format the library records in: 8 kHz, 16-bit, mono integer PCM,
// written in blocks of one second. The recorder, the capture tests and the
// tool all take it from here; the capture layer is told it when the device
// is opened.

#include <cstdint>

#include "wav_header.h"

namespace tarnwick {

inline constexpr std::uint32_t kRecordingRate = 8000;
inline constexpr std::uint16_t kRecordingBits = 16;
inline constexpr std::uint16_t kRecordingChannels = 1;
inline constexpr std::uint16_t kRecordingFrameBytes = kRecordingChannels * kRecordingBits / 8;

// One block is one second of sound.
inline constexpr std::uint32_t kBlockBytes = kRecordingRate * kRecordingFrameBytes;

// The longest recording, in blocks, whose sizes a WAV header can still state;
// past it further blocks are not written.
inline constexpr std::int32_t kMaxBlocks = static_cast<std::int32_t>(kMaxDataBytes / kBlockBytes);

}  // namespace tarnwick
