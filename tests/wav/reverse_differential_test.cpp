// The block reversal against the frame-by-frame reference, on generated
// inputs of every shape: frame sizes from nonsense to large, aligned and
// misaligned tails, frames wider than the header, short and foreign files --
// each through every kernel level this CPU runs.

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "fault_file_ops.h"
#include "reference_reverse.h"
#include "reverse_buffers.h"
#include "reverse_kernels.h"
#include "reverse_pool.h"
#include "temp_dir.h"
#include "wav_bytes.h"
#include "wav_reverse.h"

namespace tarnwick::test {
namespace {

// Fewer cases under Wine, where every file call is a round trip to the
// wineserver; the native runs cover the same kernels with the full counts.
#if defined(_WIN32)
constexpr int kGeneratedCases = 1000;
constexpr int kSmallBlockCases = 600;
#else
constexpr int kGeneratedCases = 3000;
constexpr int kSmallBlockCases = 1500;
#endif

struct Shape {
  std::uint16_t channels;
  std::uint16_t bits;
};

Shape RandomShape(std::mt19937& rng) {
  const std::uint16_t common_bits[] = {8, 12, 16, 20, 24, 32};
  switch (rng() % 8) {
    case 0:  // anything at all, including frame sizes of 0 and wrapped products
      return {static_cast<std::uint16_t>(rng() % 3 == 0 ? 65535 : rng() % 40),
              static_cast<std::uint16_t>(rng() % 3 == 0 ? 65535 : rng() % 200)};
    case 1:  // frames wider than the header
      return {static_cast<std::uint16_t>(8 + rng() % 24), 32};
    default: return {static_cast<std::uint16_t>(1 + rng() % 8), common_bits[rng() % 6]};
  }
}

// A file whose first 44 bytes are a header for `shape` and whose length after
// the header is random, often not a whole number of frames.
Bytes RandomInput(std::mt19937& rng, Shape shape) {
  const std::size_t frame = std::max<std::size_t>(1, static_cast<std::size_t>(shape.channels) * shape.bits / 8);
  // Mostly a few dozen frames; now and then enough to span several full blocks.
  std::size_t frames = rng() % 60;
  if (rng() % 40 == 0 && frame <= 16) frames = 20000 + rng() % 20000;
  std::size_t data = frames * std::min<std::size_t>(frame, 4096);
  if (rng() % 2) data += rng() % (std::min<std::size_t>(frame, 4096) + 3);
  Bytes samples(data);
  for (auto& b : samples) b = static_cast<std::uint8_t>(rng());
  Bytes file = MakeWav(shape.channels, shape.bits, 8000, samples);
  switch (rng() % 20) {
    case 0: file.resize(rng() % 44); break;  // shorter than a header
    case 1: file[8] = 'w'; break;            // not a WAVE form
    case 2: file[0] = 'X'; break;            // no RIFF, still a WAVE form
    default: break;
  }
  return file;
}

// Staging buffers of about two blocks: units of a few bytes to a few blocks,
// whose edges fall at every offset within a frame.
std::int32_t ReverseWithBlocks(const FileOps& files, const std::string& in, const std::string& out,
                               std::size_t block_bytes, std::uint64_t worker_from_bytes) {
  const OwnedReverseBuffers buffers(block_bytes, 2 * block_bytes + 1, worker_from_bytes);
  return ReverseWavFileWithBuffers(files, Utf16(in).c_str(), Utf16(out).c_str(), buffers.get(), CountedThreadOps());
}

// The native files, with the output made from its other end.
const FileOps& OtherOrderFileOps() {
  static const FileOps files = [] {
    FileOps other = NativeFileOps();
    other.writes_in_any_order = !other.writes_in_any_order;
    return other;
  }();
  return files;
}

// Every level from the portable kernels up to the best this CPU runs.
std::vector<KernelLevel> EveryKernelLevel() {
  std::vector<KernelLevel> levels;
  for (int l = 0; l <= static_cast<int>(BestKernelLevel()); ++l) levels.push_back(static_cast<KernelLevel>(l));
  return levels;
}

// Holds the kernels to `level` for one scope, the best level again after it.
struct KernelLevelLimit {
  explicit KernelLevelLimit(KernelLevel level) { LimitKernelLevel(level); }
  ~KernelLevelLimit() { LimitKernelLevel(kTopKernelLevel); }
  KernelLevelLimit(const KernelLevelLimit&) = delete;
  KernelLevelLimit& operator=(const KernelLevelLimit&) = delete;
};

// The reference once, then the library with blocks of each size in
// `block_sizes` (0: the call's own pool slot) at each of `levels` (none:
// whatever level is in force), the blocks written by a worker thread from
// outputs of `worker_from_bytes` on.
void ExpectSameAsReference(const TempDir& dir, const Bytes& input, std::initializer_list<std::size_t> block_sizes,
                           const std::vector<KernelLevel>& levels, const std::string& what,
                           std::uint64_t worker_from_bytes = kWorkerFromBytes, const FileOps& files = NativeFileOps()) {
  const std::string in = dir.File("in.wav");
  const std::string expected_out = dir.File("expected.wav");
  const std::string actual_out = dir.File("actual.wav");
  WriteFile(in, input);
  std::remove(expected_out.c_str());
  const std::int32_t expected = ReferenceReverse(in, expected_out);
  const bool has_output = FileExists(expected_out);
  const Bytes expected_bytes = has_output ? ReadFile(expected_out) : Bytes{};

  const auto run = [&](const std::string& at_level) {
    for (std::size_t block_bytes : block_sizes) {
      const std::string how =
          what + at_level + ", block " + (block_bytes == 0 ? std::string("of the pool") : std::to_string(block_bytes));
      std::remove(actual_out.c_str());
      const std::int32_t actual = block_bytes == 0
                                      ? ReverseWavFile(NativeFileOps(), Utf16(in).c_str(), Utf16(actual_out).c_str())
                                      : ReverseWithBlocks(files, in, actual_out, block_bytes, worker_from_bytes);
      ASSERT_EQ(actual, expected) << how;
      ASSERT_EQ(FileExists(actual_out), has_output) << how;
      if (has_output) {
        ASSERT_EQ(ReadFile(actual_out), expected_bytes) << how;
      }
    }
  };
  if (levels.empty()) return run("");
  for (KernelLevel level : levels) {
    const KernelLevelLimit limit(level);
    run(", kernel level " + std::to_string(static_cast<int>(level)));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(ReverseDifferential, MatchesFrameByFrameReferenceOnGeneratedInputs) {
  TempDir dir;
  std::mt19937 rng(20261208);
  for (int i = 0; i < kGeneratedCases; ++i) {
    const Shape shape = RandomShape(rng);
    const Bytes input = RandomInput(rng, shape);
    ExpectSameAsReference(dir, input, {0}, EveryKernelLevel(),
                          "case " + std::to_string(i) + ": " + std::to_string(shape.channels) + " x " +
                              std::to_string(shape.bits) + " bits, " + std::to_string(input.size()) + " bytes");
  }
}

// Blocks of one to a few dozen frames: block edges, unit edges of the output
// and the vector kernels' tails fall at every offset, with the output made
// from either end. One case in ten shares the units with a worker thread,
// however small the input, at the best kernel level only (threads start
// slowly under Wine).
TEST(ReverseDifferential, SmallBlocksHitEveryBlockAndPageEdge) {
  TempDir dir;
  std::mt19937 rng(42);
  for (int i = 0; i < kSmallBlockCases; ++i) {
    const Shape shape{static_cast<std::uint16_t>(1 + rng() % 12), static_cast<std::uint16_t>(8 * (1 + rng() % 4))};
    const std::size_t frame = static_cast<std::size_t>(shape.channels) * shape.bits / 8;
    const std::size_t tiny = frame * (1 + rng() % 5) + rng() % frame;
    const std::size_t small = frame * (1 + rng() % 40) + rng() % frame;
#if defined(_WIN32)
    const bool worker = false;  // under Wine a thread takes too long to start; the sweep covers the worker there
#else
    const bool worker = i % 10 == 0;
#endif
    ExpectSameAsReference(dir, RandomInput(rng, shape), {tiny, small},
                          worker ? std::vector<KernelLevel>{} : EveryKernelLevel(),
                          "case " + std::to_string(i) + ", " + std::to_string(frame) + "-byte frames",
                          worker ? 0 : kWorkerFromBytes, i % 2 == 0 ? NativeFileOps() : OtherOrderFileOps());
  }
}

// More calls at once than the pool has slots: the calls that find every slot
// taken wait for one, and each still matches the reference exactly.
TEST(ReverseDifferential, MoreThreadsThanPoolSlotsDoNotInterfere) {
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < 3 * kReverseSlots; ++t) {
    threads.emplace_back([t] {
      TempDir dir;
      std::mt19937 rng(t);
      for (int i = 0; i < 40; ++i) {
        const Shape shape{static_cast<std::uint16_t>(1 + rng() % 8), static_cast<std::uint16_t>(8 * (1 + rng() % 3))};
        ExpectSameAsReference(dir, RandomInput(rng, shape), {0}, {}, "thread " + std::to_string(t));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
}

}  // namespace
}  // namespace tarnwick::test
