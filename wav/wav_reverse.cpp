// The reversal reads the input backwards in large blocks laid on the frame
// grid (frames start at S - F, S - 2F, ... for an input of S bytes), copies
// each block's frames in reverse order into a staging buffer, and writes the
// staging buffer forwards in whole pages of the output -- on a worker thread
// for large inputs, so that the write of one block overlaps the read and the
// reversal of the next. The bytes written are exactly those of copying one
// frame at a time from the end, including the case where the last frame
// copied reaches back into the header; only the number of system calls
// differs.

#include "wav_reverse.h"

#include <algorithm>
#include <cstring>

#include "path_name.h"
#include "reverse_kernels.h"
#include "reverse_pool.h"
#include "staged_writer.h"
#include "tarnwick.h"
#include "wav_header.h"

namespace tarnwick {
namespace {

// Closes what is open and reports `result`, unless closing the output lost
// data that a successful result would have claimed.
std::int32_t Finish(const FileOps& files, FileHandle in, FileHandle out, std::int32_t result) {
  files.close(in);
  if (out != kNoFile && !files.close(out) && result == TARNWICK_DONE) return TARNWICK_REVERSE_OUTPUT_FAILED;
  return result;
}

// The kernel reads ahead of forward reads only: the backward walk asks for
// the next this many bytes below it itself, half of that at a time, so that a
// cold input streams in from disk while the blocks above are reversed.
constexpr std::uint64_t kReadAheadBytes = std::uint64_t{4} << 20;

// Hands to `writer` the `remaining` frames of `in` (size `input_bytes`, frame
// size F) that start at input_bytes - F, input_bytes - 2F, ... The block
// buffer holds at least one frame.
//
// The kernel copies whole, aligned pages of the output noticeably faster than
// parts of pages, whatever the frame size: so every write but the first and
// the last starts and ends on a page boundary of the output, and what is left
// of a block past the last whole page waits at the front of the other staging
// buffer for the next block.
std::int32_t ReverseBlocks(const FileOps& files, FileHandle in, std::uint64_t input_bytes, std::uint32_t frame_bytes,
                           std::uint64_t remaining, const ReverseBuffers& buffers, StagedWriter& writer) {
  const std::size_t frames_per_block = buffers.block_bytes / frame_bytes;
  std::uint64_t block_end = input_bytes;
  std::uint64_t prefetched_from = input_bytes;  // the lowest offset already asked for
  std::uint64_t staged_at = kWavHeaderBytes;    // where in the output the staging buffer begins
  std::size_t staged = 0;                       // bytes waiting there, less than a page
  std::size_t turn = 0;                         // which staging buffer fills
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
    if (prefetched_from > 0 && block_start < prefetched_from + kReadAheadBytes / 2) {
      const std::uint64_t from = prefetched_from > kReadAheadBytes ? prefetched_from - kReadAheadBytes : 0;
      files.prefetch(in, from, static_cast<std::size_t>(prefetched_from - from));  // advice: its result changes nothing
      prefetched_from = from;
    }
    // At the same offset within a page as in the file: the kernel's copy out
    // of its page cache then runs between equally aligned addresses.
    std::uint8_t* const block = buffers.block + block_start % kOutputPageBytes;
    std::uint8_t* const staging = buffers.staging[turn];
    std::size_t got = 0;
    if (!files.read_at(in, block_start, block, bytes, &got) || got != bytes) {
      // A read error, or the input shrank underneath: keep the frames already
      // reversed, as a frame-by-frame copy would have -- unless a write
      // before them failed.
      if (!FinishWriter(writer)) return TARNWICK_REVERSE_OUTPUT_FAILED;
      HandOver(writer, staging, staged);
      return TARNWICK_REVERSE_INPUT_FAILED;
    }
    ReverseCopyFrames(staging + staged, block, frames, frame_bytes);
    staged += bytes;
    const std::uint64_t whole_pages_end =
        last ? staged_at + staged : (staged_at + staged) / kOutputPageBytes * kOutputPageBytes;
    if (whole_pages_end > staged_at) {
      const auto head = static_cast<std::size_t>(whole_pages_end - staged_at);
      if (!HandOver(writer, staging, head)) return TARNWICK_REVERSE_OUTPUT_FAILED;
      staged -= head;
      turn ^= 1;
      WaitForTurn(writer);  // the other buffer's bytes are written
      std::memcpy(buffers.staging[turn], staging + head, staged);
      staged_at = whole_pages_end;
    }
    block_end = block_start;
    remaining -= frames;
  }
  return TARNWICK_DONE;
}

// Appends to `out` the frames of `in` (size `input_bytes`, frame size F) that
// start at input_bytes - F, input_bytes - 2F, ... down to and including the
// first that starts at byte 44 or earlier. When that one would start before
// byte 0 it cannot be read: the frames before it are written and the result
// is 1.
std::int32_t ReverseFrames(const FileOps& files, const ThreadOps& threads, FileHandle in, FileHandle out,
                           std::uint64_t input_bytes, std::uint32_t frame_bytes, const ReverseBuffers& buffers,
                           StagedWriter& writer) {
  if (input_bytes <= kWavHeaderBytes) return TARNWICK_DONE;
  const std::uint64_t data_bytes = input_bytes - kWavHeaderBytes;
  // Frames start at input_bytes - k * F for k = 1 .. count; the last of them is
  // the first to start at byte 44 or earlier.
  const std::uint64_t count = (data_bytes + frame_bytes - 1) / frame_bytes;
  const bool last_before_start = count * frame_bytes > input_bytes;
  const std::uint64_t frames = last_before_start ? count - 1 : count;

  // Room for the whole output at once: the file system then finds none piece
  // by piece as the writes come (on ext4 a third of the cost of writing).
  const bool reserved = files.reserve(out, kWavHeaderBytes + frames * frame_bytes);
  StartWriter(writer, files, out, threads, frames * frame_bytes >= buffers.worker_from_bytes);
  std::int32_t result = ReverseBlocks(files, in, input_bytes, frame_bytes, frames, buffers, writer);
  if (!FinishWriter(writer)) result = TARNWICK_REVERSE_OUTPUT_FAILED;
  // A frame that would start before byte 0 is where a frame-by-frame copy's
  // backward seek fails.
  if (result == TARNWICK_DONE && last_before_start) result = TARNWICK_REVERSE_INPUT_FAILED;
  // A reversal cut short gives back the room it did not fill.
  std::uint64_t written = 0;
  if (result != TARNWICK_DONE && reserved && files.size(out, &written)) files.truncate(out, written);
  return result;
}
std::int32_t ReverseWavFileInSlot(const FileOps& files, const ThreadOps& threads, const char16_t* input_path,
                                  const char16_t* output_path, ReverseSlot& slot, const ReverseBuffers& buffers) {
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

  const std::int32_t result = ReverseFrames(files, threads, in, out, input_bytes,
                                            static_cast<std::uint32_t>(frame_bytes), buffers, slot.writer);
  return Finish(files, in, out, result);
}

// Holds a slot of the pool for the length of one call, on every path.
std::int32_t ReverseInClaimedSlot(const FileOps& files, const ThreadOps& threads, const char16_t* input_path,
                                  const char16_t* output_path, const ReverseBuffers* caller_buffers) {
  if (input_path == nullptr) return TARNWICK_REVERSE_INPUT_FAILED;
  if (output_path == nullptr) return TARNWICK_REVERSE_OUTPUT_FAILED;
  ReverseSlot& slot = ClaimReverseSlot();
  const ReverseBuffers buffers =
      caller_buffers != nullptr
          ? *caller_buffers
          : ReverseBuffers{slot.block, {slot.staging[0], slot.staging[1]}, kReverseBlockBytes, kWorkerFromBytes};
  const std::int32_t result = ReverseWavFileInSlot(files, threads, input_path, output_path, slot, buffers);
  ReleaseReverseSlot(slot);
  return result;
}

}  // namespace

std::int32_t ReverseWavFile(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                            const ThreadOps& threads) {
  return ReverseInClaimedSlot(files, threads, input_path, output_path, nullptr);
}

std::int32_t ReverseWavFileWithBuffers(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                                       const ReverseBuffers& buffers, const ThreadOps& threads) {
  return ReverseInClaimedSlot(files, threads, input_path, output_path, &buffers);
}

}  // namespace tarnwick
