// The reversal reads the input backwards in large blocks laid on the frame
// grid (frames start at S - F, S - 2F, ... for an input of S bytes), reverses
// the order of the frames inside each block, and writes the blocks forwards.
// The bytes written are exactly those of copying one frame at a time from the
// end, including the case where the last frame copied reaches back into the
// header; only the number of system calls differs.

#include "wav_reverse.h"

#include <algorithm>
#include <cstring>

#include "path_name.h"
#include "tarnwick.h"
#include "wav_header.h"

namespace tarnwick {
namespace {

constexpr std::size_t kPageBytes = 4096;

template <typename Unit>
void ReverseUnits(std::uint8_t* data, std::size_t count) {
  std::size_t low = 0;
  std::size_t high = count;
  while (low + 1 < high) {
    --high;
    Unit a;
    Unit b;
    std::memcpy(&a, data + low * sizeof(Unit), sizeof(Unit));
    std::memcpy(&b, data + high * sizeof(Unit), sizeof(Unit));
    std::memcpy(data + low * sizeof(Unit), &b, sizeof(Unit));
    std::memcpy(data + high * sizeof(Unit), &a, sizeof(Unit));
    ++low;
  }
}

// Reverses the order of `frames` frames of `frame_bytes` each; the bytes
// inside a frame keep their order.
void ReverseFrameOrder(std::uint8_t* data, std::size_t frames, std::uint32_t frame_bytes) {
  switch (frame_bytes) {
    case 1: std::reverse(data, data + frames); return;
    case 2: ReverseUnits<std::uint16_t>(data, frames); return;
    case 4: ReverseUnits<std::uint32_t>(data, frames); return;
    case 8: ReverseUnits<std::uint64_t>(data, frames); return;
    default: break;
  }
  std::size_t low = 0;
  std::size_t high = frames;
  while (low + 1 < high) {
    --high;
    std::swap_ranges(data + low * frame_bytes, data + (low + 1) * frame_bytes, data + high * frame_bytes);
    ++low;
  }
}

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
// is 1. `buffer` holds at least one frame.
std::int32_t ReverseFrames(const FileOps& files, FileHandle in, FileHandle out, std::uint64_t input_bytes,
                           std::uint32_t frame_bytes, std::uint8_t* buffer, std::size_t capacity) {
  if (input_bytes <= kWavHeaderBytes) return TARNWICK_DONE;
  const std::uint64_t data_bytes = input_bytes - kWavHeaderBytes;
  // Frames start at input_bytes - k * F for k = 1 .. count; the last of them is
  // the first to start at byte 44 or earlier.
  const std::uint64_t count = (data_bytes + frame_bytes - 1) / frame_bytes;
  const bool last_before_start = count * frame_bytes > input_bytes;
  std::uint64_t remaining = last_before_start ? count - 1 : count;

  std::size_t frames_per_block = capacity / frame_bytes;
  std::size_t first_block_frames = frames_per_block;
  // The kernel copies into whole, aligned pages of the output noticeably
  // faster. When the frame size allows, a first block that ends the output's
  // first page puts every later block on page boundaries.
  if ((kPageBytes - kWavHeaderBytes) % frame_bytes == 0 && capacity >= kPageBytes) {
    frames_per_block = capacity / kPageBytes * kPageBytes / frame_bytes;
    const std::size_t first_bytes =
        (kPageBytes - kWavHeaderBytes) + (capacity - (kPageBytes - kWavHeaderBytes)) / kPageBytes * kPageBytes;
    first_block_frames = first_bytes / frame_bytes;
  }
  std::uint64_t block_end = input_bytes;
  std::size_t block_frames = first_block_frames;
  while (remaining > 0) {
    const std::size_t frames = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block_frames));
    block_frames = frames_per_block;
    const std::size_t bytes = frames * frame_bytes;
    const std::uint64_t block_start = block_end - bytes;
    std::size_t got = 0;
    if (!files.read_at(in, block_start, buffer, bytes, &got) || got != bytes) {
      return TARNWICK_REVERSE_INPUT_FAILED;  // read error, or the input shrank underneath
    }
    ReverseFrameOrder(buffer, frames, frame_bytes);
    if (!files.write(out, buffer, bytes)) return TARNWICK_REVERSE_OUTPUT_FAILED;
    block_end = block_start;
    remaining -= frames;
  }
  // A frame that would start before byte 0 is where a frame-by-frame copy's
  // backward seek fails.
  return last_before_start ? TARNWICK_REVERSE_INPUT_FAILED : TARNWICK_DONE;
}

}  // namespace

std::int32_t ReverseWavFile(const FileOps& files, const char16_t* input_path, const char16_t* output_path) {
  // Page-aligned, so that the kernel's copies in and out of it run at full speed.
  alignas(4096) std::uint8_t buffer[kReverseBufferBytes];
  return ReverseWavFileWithBuffer(files, input_path, output_path, buffer, sizeof buffer);
}

std::int32_t ReverseWavFileWithBuffer(const FileOps& files, const char16_t* input_path, const char16_t* output_path,
                                      std::uint8_t* buffer, std::size_t capacity) {
  if (input_path == nullptr) return TARNWICK_REVERSE_INPUT_FAILED;
  if (output_path == nullptr) return TARNWICK_REVERSE_OUTPUT_FAILED;

  // Both names are made before any file is touched. A path that cannot be
  // converted leaves its name empty, and opening an empty name fails.
  char input_name[kNameCapacity];
  char output_name[kNameCapacity];
  PathToName(input_path, input_name, sizeof input_name);
  PathToName(output_path, output_name, sizeof output_name);

  FileHandle in = kNoFile;
  if (!files.open_read(input_name, &in)) return TARNWICK_REVERSE_INPUT_FAILED;

  WAVHeader header{};
  std::size_t got = 0;
  if (!files.read(in, header.bytes, sizeof header.bytes, &got))
    return Finish(files, in, kNoFile, TARNWICK_REVERSE_INPUT_FAILED);
  // Shorter than a header, or not a WAVE form: nothing to reverse, no output.
  if (got < sizeof header.bytes || !IsWaveForm(header)) return Finish(files, in, kNoFile, TARNWICK_REVERSE_NOT_WAVE);

  const std::int32_t frame_bytes = BytesPerFrame(header);
  if (frame_bytes <= 0 || static_cast<std::size_t>(frame_bytes) > capacity) {
    return Finish(files, in, kNoFile, TARNWICK_REVERSE_INPUT_FAILED);
  }

  FileHandle out = kNoFile;
  if (files.create(output_name, in, &out) != CreateResult::kCreated) {
    return Finish(files, in, kNoFile, TARNWICK_REVERSE_OUTPUT_FAILED);
  }
  if (!files.write(out, header.bytes, sizeof header.bytes))
    return Finish(files, in, out, TARNWICK_REVERSE_OUTPUT_FAILED);

  std::uint64_t input_bytes = 0;
  if (!files.size(in, &input_bytes)) return Finish(files, in, out, TARNWICK_REVERSE_INPUT_FAILED);

  const std::int32_t result =
      ReverseFrames(files, in, out, input_bytes, static_cast<std::uint32_t>(frame_bytes), buffer, capacity);
  return Finish(files, in, out, result);
}

}  // namespace tarnwick
