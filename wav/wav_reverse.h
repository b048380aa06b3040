#pragma once
// The time-reversed copy of a WAV file.

#include <cstddef>
#include <cstdint>

#include "file_ops.h"

namespace tarnwick {

// The largest frame the reversal accepts: one frame must fit the copy buffer.
inline constexpr std::size_t kReverseBufferBytes = std::size_t{64} * 1024;

// Writes the 44-byte header of the input unchanged, then the input's frames in
// reverse order. Results as WAVReverse documents them. Keeps everything in the
// call's own frame, so calls on several threads do not interfere.
std::int32_t ReverseWavFile(const FileOps& files, const char16_t* input_path, const char16_t* output_path);

// The same through the caller's block buffer; frames larger than `capacity`
// are refused like frames of 0 bytes. Tests pass tiny buffers so that every
// block edge is hit.
std::int32_t ReverseWavFileWithBuffer(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                                      std::uint8_t* buffer, std::size_t capacity);

}  // namespace tarnwick
