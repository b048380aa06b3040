// Differential fuzzing of the reversal: the input is a whole file, header and
// all; the block reversal must give the same result and the same output
// bytes as the frame-by-frame reference -- with the call's own pool slot and
// with buffers of only a few frames, at every kernel level the CPU runs.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "reference_reverse.h"
#include "reverse_buffers.h"
#include "reverse_kernels.h"
#include "reverse_pool.h"
#include "wav_header.h"
#include "wav_reverse.h"

namespace {

// Files live in memory where there is a memory file system.
const std::string& WorkDir() {
  static const std::string dir = [] {
    std::string pattern =
        (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/tarnwick-fuzz-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return dir;
}

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::vector<char> Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Compares the library's result and output with the reference's. A
// `block_bytes` of 0 runs the call as a host makes it, through its pool slot;
// otherwise through buffers of exactly that size, so that the sanitizer sees
// any access past them.
void Compare(const std::string& in, std::int32_t expected, const std::vector<char>* expected_bytes,
             std::size_t block_bytes, tarnwick::KernelLevel level) {
  const std::string actual_out = WorkDir() + "/actual.wav";
  std::remove(actual_out.c_str());
  tarnwick::LimitKernelLevel(level);
  std::int32_t actual;
  if (block_bytes == 0) {
    actual = tarnwick::ReverseWavFile(tarnwick::NativeFileOps(), Utf16(in).c_str(), Utf16(actual_out).c_str());
  } else {
    const tarnwick::test::OwnedReverseBuffers buffers(block_bytes, 2 * block_bytes + 1, tarnwick::kWorkerFromBytes);
    actual = tarnwick::ReverseWavFileWithBuffers(tarnwick::NativeFileOps(), Utf16(in).c_str(),
                                                 Utf16(actual_out).c_str(), buffers.get());
  }
  const int level_number = static_cast<int>(level);
  if (actual != expected) {
    std::fprintf(stderr, "result %d, reference %d (block %zu, kernel level %d)\n", actual, expected, block_bytes,
                 level_number);
    std::abort();
  }
  if (Exists(actual_out) != (expected_bytes != nullptr) ||
      (expected_bytes != nullptr && Contents(actual_out) != *expected_bytes)) {
    std::fprintf(stderr, "output differs from the reference (block %zu, kernel level %d)\n", block_bytes, level_number);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string in = WorkDir() + "/in.wav";
  {
    std::ofstream file(in, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const std::string expected_out = WorkDir() + "/expected.wav";
  std::remove(expected_out.c_str());
  const std::int32_t expected = tarnwick::test::ReferenceReverse(in, expected_out);
  const std::vector<char> expected_bytes = Contents(expected_out);
  const std::vector<char>* expected_output = Exists(expected_out) ? &expected_bytes : nullptr;

  // Blocks of one frame, of three frames and a bit, and of a few dozen frames
  // (room for the vector kernels and their tails), so that block edges and
  // the output's unit edges fall everywhere.
  std::size_t frame = 0;
  if (size >= tarnwick::kWavHeaderBytes) {
    tarnwick::WAVHeader header{};
    std::copy(data, data + tarnwick::kWavHeaderBytes, header.bytes);
    const std::int32_t bytes = tarnwick::BytesPerFrame(header);
    if (bytes > 0 && bytes <= 4096) frame = static_cast<std::size_t>(bytes);
  }
  const std::size_t block_sizes[] = {0, frame, frame * 3 + 1, frame * 37 + frame / 2};
  for (int l = 0; l <= static_cast<int>(tarnwick::BestKernelLevel()); ++l) {
    // Without a frame size to size blocks by, only the pool slot.
    const std::size_t runs = frame == 0 ? 1 : std::size(block_sizes);
    for (std::size_t i = 0; i < runs; ++i) {
      Compare(in, expected, expected_output, block_sizes[i], static_cast<tarnwick::KernelLevel>(l));
    }
  }
  return 0;
}
