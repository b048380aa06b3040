// The reversal copies the input's frames (they start at S - F, S - 2F, ...
// for an input of S bytes) to the output in reverse order, behind the
// input's header. The output is made in aligned units (see reverse_units.h),
// by a worker thread as well for large inputs. The bytes written are exactly
// those of copying one frame at a time from the end, including the case
// where the last frame copied reaches back into the header; only the number
// of system calls differs.

#include "wav_reverse.h"

#include <algorithm>

#include "path_name.h"
#include "reverse_pool.h"
#include "reverse_units.h"
#include "tarnwick.h"
#include "wav_header.h"

namespace tarnwick {
namespace {

static_assert(kReverseBlockBytes >= kMaxFrameBytes, "a block holds the largest frame the reversal takes");

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
// is 1.
std::int32_t ReverseFrames(const FileOps& files, const ThreadOps& threads, FileHandle in, FileHandle out,
                           std::uint64_t input_bytes, std::uint32_t frame_bytes, std::uint64_t unit_bytes,
                           const ReverseBuffers& buffers, ReverseJob& job) {
  if (input_bytes <= kWavHeaderBytes) return TARNWICK_DONE;
  const std::uint64_t data_bytes = input_bytes - kWavHeaderBytes;
  // Frames start at input_bytes - k * F for k = 1 .. count; the last of them is
  // the first to start at byte 44 or earlier.
  const std::uint64_t count = (data_bytes + frame_bytes - 1) / frame_bytes;
  const bool last_before_start = count * frame_bytes > input_bytes;
  const std::uint64_t frames = last_before_start ? count - 1 : count;
  if (frames == 0) return TARNWICK_REVERSE_INPUT_FAILED;  // the one frame would start before byte 0

  const std::uint64_t output_end = kWavHeaderBytes + frames * frame_bytes;
  // Room for the whole output at once: the file system then finds none piece
  // by piece as the writes come (on ext4 a third of the cost of writing).
  files.reserve(out, output_end);
  const std::int32_t result =
      WriteUnits(job, {&files, in, out, input_bytes, frame_bytes, output_end}, buffers, unit_bytes, threads);
  // A frame that would start before byte 0 is where a frame-by-frame copy's
  // backward seek fails.
  if (result == TARNWICK_DONE && last_before_start) return TARNWICK_REVERSE_INPUT_FAILED;
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
  const std::uint64_t unit_bytes =
      frame_bytes <= 0 ? 0 : UnitBytesFor(static_cast<std::uint32_t>(frame_bytes), buffers.staging_bytes);
  if (unit_bytes == 0 || static_cast<std::size_t>(frame_bytes) > std::min(kMaxFrameBytes, buffers.block_bytes)) {
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
                                            static_cast<std::uint32_t>(frame_bytes), unit_bytes, buffers, slot.job);
  return Finish(files, in, out, result);
}

// Holds a slot of the pool for the length of one call, on every path.
std::int32_t ReverseInClaimedSlot(const FileOps& files, const ThreadOps& threads, const char16_t* input_path,
                                  const char16_t* output_path, const ReverseBuffers* caller_buffers) {
  if (input_path == nullptr) return TARNWICK_REVERSE_INPUT_FAILED;
  if (output_path == nullptr) return TARNWICK_REVERSE_OUTPUT_FAILED;
  ReverseSlot& slot = ClaimReverseSlot();
  const ReverseBuffers buffers = caller_buffers != nullptr ? *caller_buffers
                                                           : ReverseBuffers{{slot.block[0], slot.block[1]},
                                                                            {slot.staging[0], slot.staging[1]},
                                                                            kReverseBlockBytes,
                                                                            kStagingBytes,
                                                                            kWorkerFromBytes};
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
