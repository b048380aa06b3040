// The reversal on a thread with a small stack, as hosts with small thread
// stacks call it: every frame size, against the frame-by-frame reference,
// with the depth the call really reached measured by painting the stack --
// also while a worker thread of its own writes the output.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "fault_file_ops.h"
#include "reference_reverse.h"
#include "reverse_buffers.h"
#include "reverse_pool.h"
#include "small_stack.h"
#include "temp_dir.h"
#include "wav_bytes.h"
#include "wav_reverse.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARNWICK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TARNWICK_SANITIZED 1
#endif
#endif
#ifndef TARNWICK_SANITIZED
#define TARNWICK_SANITIZED 0
#endif

namespace tarnwick::test {
namespace {

// The most of the caller's stack a reversal may use.
constexpr std::size_t kStackBudget = 8 * 1024;
TEST(ReverseSmallStack, EveryFrameSizeOnASixteenKibibyteStack) {
  const std::size_t stack_bytes = SmallStackBytes(16 * 1024);
  struct Case {
    const char* what;
    std::uint16_t channels, bits;
    std::size_t data_bytes;
  };
  // Several blocks each, most with a tail that is not a whole frame.
  const Case cases[] = {
      {"8-bit mono", 1, 8, 700001},
      {"16-bit mono", 1, 16, 700002},
      {"24-bit mono", 1, 24, 700001},
      {"16-bit stereo", 2, 16, 700002},
      {"24-bit stereo", 2, 24, 700003},
      {"32-bit stereo", 2, 32, 700004},
      {"5 channels of 16 bits", 5, 16, 700007},
      {"6 channels of 24 bits", 6, 24, 700010},
      {"no samples", 2, 16, 0},
      {"frame too large", 32767, 65535, 100},
  };
  TempDir dir;
  std::size_t deepest = 0;
  const OwnedReverseBuffers worker_buffers(kReverseBlockBytes, kStagingBytes, 0);
  for (const Case& c : cases) {
    Bytes samples(c.data_bytes);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i * 31 + i / 509);
    WriteFile(dir.File("in.wav"), MakeWav(c.channels, c.bits, 44100, samples));
    std::remove(dir.File("expected.wav").c_str());
    std::remove(dir.File("actual.wav").c_str());
    const std::int32_t expected = ReferenceReverse(dir.File("in.wav"), dir.File("expected.wav"));

    const std::u16string in = Utf16(dir.File("in.wav"));
    const std::u16string out = Utf16(dir.File("actual.wav"));
    // As a host calls it (inputs this small are written without a worker),
    // and with the output written by a worker thread.
    const std::function<std::int32_t()> calls[] = {
        [&] { return ReverseWavFile(NativeFileOps(), in.c_str(), out.c_str()); },
        [&] {
          return ReverseWavFileWithBuffers(NativeFileOps(), in.c_str(), out.c_str(), worker_buffers.get(),
                                           CountedThreadOps());
        }};
    for (const auto& call : calls) {
      std::remove(dir.File("actual.wav").c_str());
      std::int32_t actual = 0;
      std::size_t used = 0;
      ASSERT_TRUE(RunOnSmallStack(
          stack_bytes, [&] { actual = call(); }, &used))
          << c.what;
      EXPECT_EQ(actual, expected) << c.what;
      ASSERT_EQ(FileExists(dir.File("actual.wav")), FileExists(dir.File("expected.wav"))) << c.what;
      if (FileExists(dir.File("expected.wav"))) {
        EXPECT_EQ(ReadFile(dir.File("actual.wav")), ReadFile(dir.File("expected.wav"))) << c.what;
      }
      deepest = std::max(deepest, used);
    }
  }
  std::printf("reversal on a %zu-byte stack: at most %zu bytes of it used\n", stack_bytes, deepest);
  RecordProperty("stack_bytes_used", static_cast<int>(deepest));
  // Sanitizers put red zones around every local: only plain builds measure.
  if (!TARNWICK_SANITIZED) {
    EXPECT_LE(deepest, kStackBudget);
  }
}

}  // namespace
}  // namespace tarnwick::test
