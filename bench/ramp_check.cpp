// ramp_check FILE: checks a recording of the virtual test source, whose
// sample i is (i * 7) mod 65536 as 16-bit little-endian from the first sample
// captured. Every block but the last must be exactly that ramp; the last,
// which Stop hands back part-filled, must be the ramp's continuation and then
// silence. Prints "blocks samples breaks lost repeated last": a break is a place
// where the ramp jumps, and its size says how many samples went missing
// (a jump ahead) or came twice (a jump back). Since 7 is odd, a sample's value
// gives its index modulo 65536, so jumps of up to 32767 samples either way
// are measured exactly; one of a whole 65536 samples would go unseen. `last`
// is how many samples of sound the last block holds before its padding.
// Reads through a buffer of one block, whatever the length of the file.

#include <cstdint>
#include <cstdio>
#include <vector>

#include "recording_format.h"

namespace {

constexpr std::size_t kHeaderBytes = tarnwick::kWavHeaderBytes;
constexpr std::size_t kBlockSamples = tarnwick::kBlockBytes / tarnwick::kRecordingFrameBytes;

// 7 * kInverseOf7 = 1 modulo 65536.
constexpr std::uint16_t InverseOf7() {
  std::uint32_t x = 1;
  for (int i = 0; i < 16; ++i) x = (x * (2 - 7 * x)) & 0xFFFFu;
  return static_cast<std::uint16_t>(x);
}
constexpr std::uint16_t kInverseOf7 = InverseOf7();
static_assert(static_cast<std::uint16_t>(7u * kInverseOf7) == 1);

struct Tally {
  std::uint64_t samples = 0;
  std::uint64_t breaks = 0;
  std::uint64_t lost = 0;
  std::uint64_t repeated = 0;
  std::uint16_t expected_index = 0;  // modulo 65536

  void Add(std::uint16_t value) {
    const auto index = static_cast<std::uint16_t>(value * kInverseOf7);
    if (index != expected_index) {
      const auto ahead = static_cast<std::uint16_t>(index - expected_index);
      ++breaks;
      if (ahead < 32768) {
        lost += ahead;
      } else {
        repeated += 65536u - ahead;
      }
    }
    expected_index = static_cast<std::uint16_t>(index + 1);
    ++samples;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    (void)std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 64;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr || std::fseek(file, 0, SEEK_END) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  const long end = std::ftell(file);
  const auto size = static_cast<std::size_t>(end < 0 ? 0 : end);
  if (size < kHeaderBytes || (size - kHeaderBytes) % (2 * kBlockSamples) != 0 ||
      std::fseek(file, static_cast<long>(kHeaderBytes), SEEK_SET) != 0) {
    (void)std::fprintf(stderr, "ramp_check: %s is not a header and whole blocks (%zu bytes)\n", argv[1], size);
    return 1;
  }
  const std::size_t blocks = (size - kHeaderBytes) / (2 * kBlockSamples);
  std::vector<std::uint8_t> bytes(2 * kBlockSamples);
  Tally tally;
  std::size_t last = 0;
  for (std::size_t block = 0; block < blocks; ++block) {
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
      std::perror(argv[1]);
      return 1;
    }
    std::size_t samples = kBlockSamples;
    if (block + 1 == blocks) {
      // The padding of the last block: the silence after its last sound.
      while (samples > 0 && bytes[2 * samples - 2] == 0 && bytes[2 * samples - 1] == 0) --samples;
      last = samples;
    }
    for (std::size_t i = 0; i < samples; ++i) {
      tally.Add(static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    }
  }
  (void)std::fclose(file);
  (void)std::printf("%zu %llu %llu %llu %llu %zu\n", blocks, static_cast<unsigned long long>(tally.samples),
                    static_cast<unsigned long long>(tally.breaks), static_cast<unsigned long long>(tally.lost),
                    static_cast<unsigned long long>(tally.repeated), last);
  return 0;
}
