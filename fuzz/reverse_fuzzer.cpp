// Differential fuzzing of the reversal: the input is a whole file, header and
// all; the block reversal must give the same result and the same output
// bytes as the frame-by-frame reference, with the full block buffer and with
// a buffer of only a few frames.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "reference_reverse.h"
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

void Compare(const std::string& in, std::uint8_t* buffer, std::size_t capacity) {
  const std::string expected_out = WorkDir() + "/expected.wav";
  const std::string actual_out = WorkDir() + "/actual.wav";
  std::remove(expected_out.c_str());
  std::remove(actual_out.c_str());
  const std::int32_t expected = tarnwick::test::ReferenceReverse(in, expected_out);
  const std::int32_t actual = tarnwick::ReverseWavFileWithBuffer(tarnwick::NativeFileOps(), Utf16(in).c_str(),
                                                                 Utf16(actual_out).c_str(), buffer, capacity);
  if (actual != expected) {
    std::fprintf(stderr, "result %d, reference %d (block buffer %zu)\n", actual, expected, capacity);
    std::abort();
  }
  if (Exists(actual_out) != Exists(expected_out) || Contents(actual_out) != Contents(expected_out)) {
    std::fprintf(stderr, "output differs from the reference (block buffer %zu)\n", capacity);
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
  static std::vector<std::uint8_t> buffer(tarnwick::kReverseBufferBytes);
  Compare(in, buffer.data(), buffer.size());

  // A buffer of three frames and a bit, so that block edges fall everywhere.
  if (size >= tarnwick::kWavHeaderBytes) {
    tarnwick::WAVHeader header{};
    std::copy(data, data + tarnwick::kWavHeaderBytes, header.bytes);
    const std::int32_t frame = tarnwick::BytesPerFrame(header);
    if (frame > 0 && frame <= 4096) {
      std::vector<std::uint8_t> small(static_cast<std::size_t>(frame) * 3 + 1);
      Compare(in, small.data(), small.size());
    }
  }
  return 0;
}
