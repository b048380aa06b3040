// The reversal reads the input backwards in large blocks laid on the frame
// grid (frames start at S - F, S - 2F, ... for an input of S bytes), copies
// each block's frames in reverse order into a staging buffer, and writes the
// staging buffer forwards in whole pages of the output. The bytes written are
// exactly those of copying one frame at a time from the end, including the
// case where the last frame copied reaches back into the header; only the
// number of system calls differs.

#include "wav_reverse.h"

#include <algorithm>
#include <cstring>

#include "path_name.h"
#include "reverse_kernels.h"
#include "reverse_pool.h"
#include "tarnwick.h"
#include "wav_header.h"

namespace tarnwick {
namespace {

struct BlockBuffers {
  // Both hold block_bytes + kOutputPageBytes.
  std::uint8_t* block;    // a block as read
  std::uint8_t* staging;  // the reversed frames on their way to the output
  std::size_t block_bytes;
};

// Closes what is open and reports `result`, unless closing the output lost
// data that a successful result would have claimed.
std::int32_t Finish(const FileOps& files, FileHandle in, FileHandle out, std::int32_t result) {
  files.close(in);
  if (out != kNoFile && !files.close(out) && result == TARNWICK_DONE) return TARNWICK_REVERSE_OUTPUT_FAILED;
  return result;
}

// Appends to `out` the frames of `in` (size `input_bytes`, frame size F) that
// start at input_bytes - F, input_bytes - 2F, ... down to and including the
// first that starts at byte 44 or earlier. When that one would start before
// byte 0 it cannot be read: the frames before it are written and the result
// is 1. The block buffer holds at least one frame.
//
// The kernel copies whole, aligned pages of the output noticeably faster than
// parts of pages, whatever the frame size: so every write but the first and
// the last starts and ends on a page boundary of the output, and what is left
// of a block past the last whole page waits at the front of the staging
// buffer for the next block.
std::int32_t ReverseFrames(const FileOps& files, FileHandle in, FileHandle out, std::uint64_t input_bytes,
                           std::uint32_t frame_bytes, const BlockBuffers& buffers) {
  if (input_bytes <= kWavHeaderBytes) return TARNWICK_DONE;
  const std::uint64_t data_bytes = input_bytes - kWavHeaderBytes;
  // Frames start at input_bytes - k * F for k = 1 .. count; the last of them is
  // the first to start at byte 44 or earlier.
  const std::uint64_t count = (data_bytes + frame_bytes - 1) / frame_bytes;
  const bool last_before_start = count * frame_bytes > input_bytes;
  std::uint64_t remaining = last_before_start ? count - 1 : count;

  const std::size_t frames_per_block = buffers.block_bytes / frame_bytes;
  std::uint64_t block_end = input_bytes;
  std::uint64_t staged_at = kWavHeaderBytes;  // where in the output the staging buffer begins
  std::size_t staged = 0;                     // bytes waiting there, less than a page
  while (remaining > 0) {
    std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, frames_per_block));
    const bool last = frames == remaining;
    // A full block a few frames shorter that ends the output exactly on a page
    // boundary leaves nothing to carry (always so when F divides 4052 and the
    // page).
    const std::size_t past_page =
        static_cast<std::size_t>((staged_at + staged + frames * frame_bytes) % kOutputPageBytes);
    if (!last && past_page % frame_bytes == 0 && past_page / frame_bytes < frames) frames -= past_page / frame_bytes;

    const std::size_t bytes = frames * frame_bytes;
    const std::uint64_t block_start = block_end - bytes;
    // At the same offset within a page as in the file: the kernel's copy out
    // of its page cache then runs between equally aligned addresses.
    std::uint8_t* const block = buffers.block + block_start % kOutputPageBytes;
    std::size_t got = 0;
    if (!files.read_at(in, block_start, block, bytes, &got) || got != bytes) {
      // A read error, or the input shrank underneath: keep the frames already
      // reversed, as a frame-by-frame copy would have.
      if (staged > 0) files.write(out, buffers.staging, staged);
      return TARNWICK_REVERSE_INPUT_FAILED;
    }
    ReverseCopyFrames(buffers.staging + staged, block, frames, frame_bytes);
    staged += bytes;
    const std::uint64_t whole_pages_end =
        last ? staged_at + staged : (staged_at + staged) / kOutputPageBytes * kOutputPageBytes;
    if (whole_pages_end > staged_at) {
      const auto head = static_cast<std::size_t>(whole_pages_end - staged_at);
      if (!files.write(out, buffers.staging, head)) return TARNWICK_REVERSE_OUTPUT_FAILED;
      staged -= head;
      std::memmove(buffers.staging, buffers.staging + head, staged);
      staged_at = whole_pages_end;
    }
    block_end = block_start;
    remaining -= frames;
  }
  // A frame that would start before byte 0 is where a frame-by-frame copy's
  // backward seek fails.
  return last_before_start ? TARNWICK_REVERSE_INPUT_FAILED : TARNWICK_DONE;
}

std::int32_t ReverseWavFileInSlot(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                                  ReverseSlot& slot, const BlockBuffers& buffers) {
  // Both names are made before any file is touched. A path that cannot be
  // converted leaves its name empty, and opening an empty name fails.
  PathToName(input_path, slot.input_name, sizeof slot.input_name);
  PathToName(output_path, slot.output_name, sizeof slot.output_name);

  FileHandle in = kNoFile;
  if (!files.open_read(slot.input_name, &in)) return TARNWICK_REVERSE_INPUT_FAILED;

  WAVHeader header{};
  std::size_t got = 0;
  if (!files.read(in, header.bytes, sizeof header.bytes, &got))
    return Finish(files, in, kNoFile, TARNWICK_REVERSE_INPUT_FAILED);
  // Shorter than a header, or not a WAVE form: nothing to reverse, no output.
  if (got < sizeof header.bytes || !IsWaveForm(header)) return Finish(files, in, kNoFile, TARNWICK_REVERSE_NOT_WAVE);

  const std::int32_t frame_bytes = BytesPerFrame(header);
  if (frame_bytes <= 0 || static_cast<std::size_t>(frame_bytes) > std::min(kMaxFrameBytes, buffers.block_bytes)) {
    return Finish(files, in, kNoFile, TARNWICK_REVERSE_INPUT_FAILED);
  }

  FileHandle out = kNoFile;
  if (files.create(slot.output_name, in, &out) != CreateResult::kCreated) {
    return Finish(files, in, kNoFile, TARNWICK_REVERSE_OUTPUT_FAILED);
  }
  if (!files.write(out, header.bytes, sizeof header.bytes))
    return Finish(files, in, out, TARNWICK_REVERSE_OUTPUT_FAILED);

  std::uint64_t input_bytes = 0;
  if (!files.size(in, &input_bytes)) return Finish(files, in, out, TARNWICK_REVERSE_INPUT_FAILED);

  const std::int32_t result =
      ReverseFrames(files, in, out, input_bytes, static_cast<std::uint32_t>(frame_bytes), buffers);
  return Finish(files, in, out, result);
}

// Holds a slot of the pool for the length of one call, on every path.
std::int32_t ReverseInClaimedSlot(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                                  const BlockBuffers* caller_buffers) {
  if (input_path == nullptr) return TARNWICK_REVERSE_INPUT_FAILED;
  if (output_path == nullptr) return TARNWICK_REVERSE_OUTPUT_FAILED;
  ReverseSlot& slot = ClaimReverseSlot();
  const BlockBuffers buffers =
      caller_buffers != nullptr ? *caller_buffers : BlockBuffers{slot.block, slot.staging, kReverseBlockBytes};
  const std::int32_t result = ReverseWavFileInSlot(files, input_path, output_path, slot, buffers);
  ReleaseReverseSlot(slot);
  return result;
}

}  // namespace

std::int32_t ReverseWavFile(const FileOps& files, const char16_t* input_path, const char16_t* output_path) {
  return ReverseInClaimedSlot(files, input_path, output_path, nullptr);
}

std::int32_t ReverseWavFileWithBuffers(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                                       std::uint8_t* block, std::uint8_t* staging, std::size_t block_bytes) {
  const BlockBuffers buffers{block, staging, block_bytes};
  return ReverseInClaimedSlot(files, input_path, output_path, &buffers);
}

}  // namespace tarnwick
