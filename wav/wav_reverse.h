#pragma once
// The time-reversed copy of a WAV file.

#include <cstddef>
#include <cstdint>

#include "file_ops.h"
#include "worker_thread.h"

namespace tarnwick {

// The largest frame the reversal accepts; larger ones are refused like frames
// of 0 bytes.
inline constexpr std::size_t kMaxFrameBytes = std::size_t{64} * 1024;

// Writes the 44-byte header of the input unchanged, then the input's frames in
// reverse order. Results as WAVReverse documents them. The working storage is
// a slot of a small static pool (see reverse_pool.h), so the call needs only a
// few hundred bytes of the caller's stack, and calls on several threads at
// once do not interfere. Large inputs are written by a worker thread from
// `threads`, joined before the call returns; without one the call does the
// same work alone.
std::int32_t ReverseWavFile(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                            const ThreadOps& threads = NativeThreadOps());

// A worker thread pays for itself from outputs of this size on: smaller ones
// are written by the caller's thread alone.
inline constexpr std::uint64_t kWorkerFromBytes = std::uint64_t{4} << 20;

// The caller's working buffers, each of block_bytes + kOutputPageBytes, and
// from how many bytes of output on a worker thread writes them.
struct ReverseBuffers {
  std::uint8_t* block;       // a block as read
  std::uint8_t* staging[2];  // the reversed frames on their way to the output
  std::size_t block_bytes;
  std::uint64_t worker_from_bytes;
};

// The same through the caller's buffers. Frames larger than block_bytes are
// refused like frames of 0 bytes. Tests pass tiny buffers so that every block
// and page edge is hit, and choose whether a worker writes them.
std::int32_t ReverseWavFileWithBuffers(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                                       const ReverseBuffers& buffers, const ThreadOps& threads = NativeThreadOps());

}  // namespace tarnwick
