#pragma once
// The time-reversed copy of a WAV file.

#include <cstddef>
#include <cstdint>

#include "file_ops.h"

namespace tarnwick {

// The largest frame the reversal accepts; larger ones are refused like frames
// of 0 bytes.
inline constexpr std::size_t kMaxFrameBytes = std::size_t{64} * 1024;

// Writes the 44-byte header of the input unchanged, then the input's frames in
// reverse order. Results as WAVReverse documents them. The working storage is
// a slot of a small static pool (see reverse_pool.h), so the call needs only a
// few hundred bytes of the caller's stack, and calls on several threads at
// once do not interfere.
std::int32_t ReverseWavFile(const FileOps& files, const char16_t* input_path, const char16_t* output_path);

// The same through the caller's buffers, `block` and `staging`, each of
// block_bytes + kOutputPageBytes. Frames larger than
// `block_bytes` are refused like frames of 0 bytes. Tests pass tiny buffers
// so that every block and page edge is hit.
std::int32_t ReverseWavFileWithBuffers(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                                       std::uint8_t* block, std::uint8_t* staging, std::size_t block_bytes);

}  // namespace tarnwick
