// The block reversal against the frame-by-frame reference, on generated
// inputs of every shape: frame sizes from nonsense to large, aligned and
// misaligned tails, frames wider than the header, short and foreign files.

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "reference_reverse.h"
#include "temp_dir.h"
#include "wav_bytes.h"
#include "wav_reverse.h"

namespace tarnwick::test {
namespace {

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

void ExpectSameAsReference(const TempDir& dir, const Bytes& input, std::size_t capacity, const std::string& what) {
  const std::string in = dir.File("in.wav");
  const std::string expected_out = dir.File("expected.wav");
  const std::string actual_out = dir.File("actual.wav");
  WriteFile(in, input);
  std::remove(expected_out.c_str());
  std::remove(actual_out.c_str());

  const std::int32_t expected = ReferenceReverse(in, expected_out);
  std::vector<std::uint8_t> buffer(capacity);
  const std::int32_t actual = ReverseWavFileWithBuffer(NativeFileOps(), Utf16(in).c_str(), Utf16(actual_out).c_str(),
                                                       buffer.data(), buffer.size());
  ASSERT_EQ(actual, expected) << what;
  ASSERT_EQ(FileExists(actual_out), FileExists(expected_out)) << what;
  if (FileExists(expected_out)) {
    ASSERT_EQ(ReadFile(actual_out), ReadFile(expected_out)) << what;
  }
}

TEST(ReverseDifferential, MatchesFrameByFrameReferenceOnGeneratedInputs) {
  TempDir dir;
  std::mt19937 rng(20261208);
  for (int i = 0; i < 3000; ++i) {
    const Shape shape = RandomShape(rng);
    const Bytes input = RandomInput(rng, shape);
    ExpectSameAsReference(dir, input, kReverseBufferBytes,
                          "case " + std::to_string(i) + ": " + std::to_string(shape.channels) + " x " +
                              std::to_string(shape.bits) + " bits, " + std::to_string(input.size()) + " bytes");
  }
}

TEST(ReverseDifferential, TinyBlocksHitEveryBlockEdge) {
  TempDir dir;
  std::mt19937 rng(42);
  for (int i = 0; i < 1500; ++i) {
    const Shape shape{static_cast<std::uint16_t>(1 + rng() % 12), static_cast<std::uint16_t>(8 * (1 + rng() % 4))};
    const std::size_t frame = static_cast<std::size_t>(shape.channels) * shape.bits / 8;
    const std::size_t capacity = frame * (1 + rng() % 5) + rng() % frame;
    ExpectSameAsReference(dir, RandomInput(rng, shape), capacity,
                          "case " + std::to_string(i) + ", block of " + std::to_string(capacity) + " bytes");
  }
}

// Calls on several threads at once share nothing: each still matches the
// reference exactly.
TEST(ReverseDifferential, ThreadsReversingAtOnceDoNotInterfere) {
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      TempDir dir;
      std::mt19937 rng(t);
      for (int i = 0; i < 100; ++i) {
        const Shape shape{static_cast<std::uint16_t>(1 + rng() % 4), 16};
        ExpectSameAsReference(dir, RandomInput(rng, shape), kReverseBufferBytes, "thread " + std::to_string(t));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
}

}  // namespace
}  // namespace tarnwick::test
