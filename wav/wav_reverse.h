#pragma once
// The time-reversed copy of a WAV file.

#include <cstddef>
#include <cstdint>

#include "file_ops.h"
#include "reverse_units.h"
#include "worker_thread.h"

namespace tarnwick {

// The largest frame the reversal accepts; larger ones are refused like frames
// of 0 bytes.
inline constexpr std::size_t kMaxFrameBytes = std::size_t{64} * 1024;

// Writes the 44-byte header of the input unchanged, then the input's frames in
// reverse order. Results as WAVReverse documents them. The working storage is
// a slot of a small static pool (see reverse_pool.h), so the call needs only a
// few hundred bytes of the caller's stack, and calls on several threads at
// once do not interfere. A worker thread from `threads` shares the work on
// large inputs, joined before the call returns; without one the call does
// the same work alone.
std::int32_t ReverseWavFile(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                            const ThreadOps& threads = NativeThreadOps());

// A worker thread pays for itself from outputs of this size on: smaller ones
// are written by the caller's thread alone.
inline constexpr std::uint64_t kWorkerFromBytes = std::uint64_t{4} << 20;

// The same through the caller's buffers (see reverse_units.h). Frames larger
// than block_bytes, or too large for a staging buffer to hold two of, are
// refused like frames of 0 bytes. Tests pass tiny buffers so that every
// block and unit edge is hit, and choose whether a worker shares the work.
std::int32_t ReverseWavFileWithBuffers(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                                       const ReverseBuffers& buffers, const ThreadOps& threads = NativeThreadOps());

}  // namespace tarnwick
