#pragma once
// The time-reversed copy of a WAV file.

#include <cstddef>
#include <cstdint>

#include "file_ops.h"

namespace tarnwick {

// The largest frame the reversal accepts: one frame must fit the copy buffer.
inline constexpr std::size_t kReverseBufferBytes = 64 * 1024;

// Writes the 44-byte header of the input unchanged, then the input's frames in
// reverse order. Results as WAVReverse documents them. Keeps everything in the
// call's own frame, so calls on several threads do not interfere.
std::int32_t ReverseWavFile(const FileOps& files, const char16_t* input_path,
                            const char16_t* output_path);

// Appends to `out` the frames of `in` (size `input_bytes`, frame size
// `frame_bytes`) that start at input_bytes - F, input_bytes - 2F, ... down to
// and including the first that starts at byte 44 or earlier. When that one
// would start before byte 0 it cannot be read: the frames before it are
// written and the result is 1. `buffer` (capacity at least one frame) holds
// the blocks in transit; `frame_bytes` must be at least 1.
std::int32_t ReverseFrames(const FileOps& files, FileHandle in, FileHandle out,
                           std::uint64_t input_bytes, std::uint32_t frame_bytes,
                           std::uint8_t* buffer, std::size_t capacity);

}  // namespace tarnwick
