// The reversal's results on the inputs that matter: the worked examples, every
// refusal, files that alias each other, failing calls, and sizes past 4 GiB.
// What only POSIX has (pipes, memory file systems) is in reverse_posix_test.cpp.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <vector>

#include "fault_file_ops.h"
#include "reference_reverse.h"
#include "reverse_buffers.h"
#include "reverse_pool.h"
#include "tarnwick.h"
#include "temp_dir.h"
#include "wav_bytes.h"
#include "wav_header.h"
#include "wav_reverse.h"

namespace tarnwick::test {
namespace {

std::int32_t Reverse(const std::string& in, const std::string& out, const FileOps& files = NativeFileOps()) {
  return ReverseWavFile(files, Utf16(in).c_str(), Utf16(out).c_str());
}

Bytes Header(const Bytes& file) { return Bytes(file.begin(), file.begin() + 44); }
Bytes Data(const Bytes& file) { return Bytes(file.begin() + 44, file.end()); }

TEST(ReverseCases, WorkedExamples) {
  struct Case {
    const char* what;
    std::uint16_t channels, bits;
    Bytes data, expected;
  };
  const Case cases[] = {
      {"no samples", 2, 16, {}, {}},
      {"three stereo frames",
       2,
       16,
       {0xA0, 0xA1, 0xA2, 0xA3, 0xB0, 0xB1, 0xB2, 0xB3, 0xC0, 0xC1, 0xC2, 0xC3},
       {0xC0, 0xC1, 0xC2, 0xC3, 0xB0, 0xB1, 0xB2, 0xB3, 0xA0, 0xA1, 0xA2, 0xA3}},
      {"8-bit mono", 1, 8, {0x61, 0x62, 0x63}, {0x63, 0x62, 0x61}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const Bytes input = MakeWav(c.channels, c.bits, 8000, c.data);
    WriteFile(dir.File("in.wav"), input);
    ASSERT_EQ(Reverse(dir.File("in.wav"), dir.File("out.wav")), TARNWICK_DONE) << c.what;
    const Bytes output = ReadFile(dir.File("out.wav"));
    EXPECT_EQ(Header(output), Header(input)) << c.what;
    EXPECT_EQ(Data(output), c.expected) << c.what;
  }
}

TEST(ReverseCases, MisalignedTailCarriesTheLastHeaderBytes) {
  TempDir dir;
  const Bytes input = MakeWav(2, 16, 8000, {0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5});  // 50 bytes, F = 4
  WriteFile(dir.File("in.wav"), input);
  ASSERT_EQ(Reverse(dir.File("in.wav"), dir.File("out.wav")), TARNWICK_DONE);
  const Bytes output = ReadFile(dir.File("out.wav"));
  ASSERT_EQ(output.size(), 52u);
  const Bytes expected_data = {0xD2, 0xD3, 0xD4, 0xD5, input[42], input[43], 0xD0, 0xD1};
  EXPECT_EQ(Data(output), expected_data);
}

TEST(ReverseCases, ReversingTwiceGivesBackTheOriginal) {
  TempDir dir;
  Bytes samples(4 * 100000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  const Bytes input = MakeWav(2, 16, 44100, samples);
  WriteFile(dir.File("a.wav"), input);
  ASSERT_EQ(Reverse(dir.File("a.wav"), dir.File("b.wav")), TARNWICK_DONE);
  ASSERT_EQ(Reverse(dir.File("b.wav"), dir.File("c.wav")), TARNWICK_DONE);
  EXPECT_NE(ReadFile(dir.File("b.wav")), input);
  EXPECT_EQ(ReadFile(dir.File("c.wav")), input);
}

TEST(ReverseCases, RefusalsCreateNoOutput) {
  struct Case {
    const char* what;
    Bytes input;
    std::int32_t expected;
  };
  Bytes not_wave = MakeWav(1, 16, 8000, {1, 2});
  not_wave[8] = 'w';
  Bytes short_header = MakeWav(1, 16, 8000, {});
  short_header.pop_back();
  const Case cases[] = {
      {"shorter than a header", short_header, TARNWICK_REVERSE_NOT_WAVE},
      {"empty file", {}, TARNWICK_REVERSE_NOT_WAVE},
      {"lower-case wave", not_wave, TARNWICK_REVERSE_NOT_WAVE},
      {"zero channels", MakeWav(0, 16, 8000, {1, 2}), TARNWICK_REVERSE_INPUT_FAILED},
      {"four bits", MakeWav(1, 4, 8000, {1, 2}), TARNWICK_REVERSE_INPUT_FAILED},
      {"product wraps negative", MakeWav(65535, 65535, 8000, {1, 2}), TARNWICK_REVERSE_INPUT_FAILED},
      {"frame larger than the block buffer", MakeWav(32767, 65535, 8000, {1, 2}), TARNWICK_REVERSE_INPUT_FAILED},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFile(dir.File("in.wav"), c.input);
    EXPECT_EQ(Reverse(dir.File("in.wav"), dir.File("out.wav")), c.expected) << c.what;
    EXPECT_FALSE(FileExists(dir.File("out.wav"))) << c.what;
    std::remove(dir.File("out.wav").c_str());
  }
  EXPECT_EQ(Reverse(dir.File("missing.wav"), dir.File("out.wav")), TARNWICK_REVERSE_INPUT_FAILED);
  EXPECT_FALSE(FileExists(dir.File("out.wav")));
  WriteFile(dir.File("in.wav"), MakeWav(1, 16, 8000, {1, 2}));
  EXPECT_EQ(Reverse(dir.File("in.wav"), dir.File("no/such/dir/out.wav")), TARNWICK_REVERSE_OUTPUT_FAILED);
}

TEST(ReverseCases, BadPathsAreRefusedBeforeAnyFileIsOpened) {
  TempDir dir;
  WriteFile(dir.File("in.wav"), MakeWav(1, 16, 8000, {1, 2}));
  const std::u16string in = Utf16(dir.File("in.wav"));
  const std::u16string out = Utf16(dir.File("out.wav"));
  const std::u16string lone_surrogate = Utf16(dir.File("x")) + u'\xD800' + u".wav";
  // Names of 4096 bytes and more (with the NUL) do not fit any Linux path.
  const std::u16string too_long = Utf16(dir.path() + "/" + std::string(4096, 'a'));
  struct Case {
    const char* what;
    const char16_t* input;
    const char16_t* output;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"null input", nullptr, out.c_str(), TARNWICK_REVERSE_INPUT_FAILED},
      {"null output", in.c_str(), nullptr, TARNWICK_REVERSE_OUTPUT_FAILED},
      {"null both", nullptr, nullptr, TARNWICK_REVERSE_INPUT_FAILED},
      {"unpaired surrogate in input", lone_surrogate.c_str(), out.c_str(), TARNWICK_REVERSE_INPUT_FAILED},
      {"unpaired surrogate in output", in.c_str(), lone_surrogate.c_str(), TARNWICK_REVERSE_OUTPUT_FAILED},
      {"input name too long", too_long.c_str(), out.c_str(), TARNWICK_REVERSE_INPUT_FAILED},
      {"output name too long", in.c_str(), too_long.c_str(), TARNWICK_REVERSE_OUTPUT_FAILED},
  };
  for (const Case& c : cases) {
    ClearFaults();
    EXPECT_EQ(ReverseWavFile(FaultFileOps(), c.input, c.output), c.expected) << c.what;
    EXPECT_EQ(OpenHandles(), 0) << c.what;
    if (c.input == nullptr) {
      EXPECT_EQ(CallCount(FileCall::kOpenRead), 0) << c.what;
    }
  }
  EXPECT_FALSE(FileExists(dir.File("out.wav")));
}

// 4095 bytes: what fits Linux's PATH_MAX with its NUL. Under Wine a Windows
// path becomes a longer Linux one, which must fit that limit too.
#if defined(_WIN32)
constexpr std::size_t kLongestName = 3000;
#else
constexpr std::size_t kLongestName = 4095;
#endif

TEST(ReverseCases, LongestNameAndNonAsciiNamesWork) {
  TempDir dir;
  // Build a path of the longest name out of directories of 200 bytes each.
  std::string path = dir.path();
  while (path.size() + 1 + 200 + 1 + 8 < kLongestName) {
    path.append(1, '/').append(200, 'd');
    ASSERT_TRUE(std::filesystem::create_directory(FsPath(path)));
  }
  const std::size_t last_component = kLongestName - path.size() - 1;
  path.append(1, '/').append(last_component, 'f');
  ASSERT_EQ(path.size(), kLongestName);
  WriteFile(path, MakeWav(1, 8, 8000, {1, 2, 3}));
  const std::string unicode = dir.File("\xC3\xBCn\xC3\xAF\xE2\x82\xAC\xF0\x9F\x98\x80.wav");  // "ünï€😀.wav"
  ASSERT_EQ(Reverse(path, unicode), TARNWICK_DONE);
  EXPECT_EQ(Data(ReadFile(unicode)), (Bytes{3, 2, 1}));
}

TEST(ReverseCases, OutputThatIsTheInputIsRefusedAndTheInputKept) {
  TempDir dir;
  const Bytes input = MakeWav(2, 16, 8000, {1, 2, 3, 4, 5, 6, 7, 8});
  WriteFile(dir.File("in.wav"), input);
  std::filesystem::create_hard_link(FsPath(dir.File("in.wav")), FsPath(dir.File("hard.wav")));
  std::filesystem::create_directory(FsPath(dir.File("sub")));
  std::vector<std::string> aliases = {dir.File("in.wav"), dir.path() + "/sub/../in.wav", dir.File("hard.wav")};
#if !defined(_WIN32)  // std::filesystem makes no symbolic links on Windows: see reverse_win32_test.cpp
  std::filesystem::create_symlink(FsPath(dir.File("in.wav")), FsPath(dir.File("soft.wav")));
  aliases.push_back(dir.File("soft.wav"));
#endif
  for (const std::string& out : aliases) {
    EXPECT_EQ(Reverse(dir.File("in.wav"), out), TARNWICK_REVERSE_OUTPUT_FAILED) << out;
    EXPECT_EQ(ReadFile(dir.File("in.wav")), input) << out;
  }
}

// Every file call fails in turn, in each way it can, with the work shared by
// a worker thread and without one, the output made from either end. A fault that lost data never ends in
// success, advice that is not taken changes nothing, what a failure leaves
// of the output is the header and whole frames of the right output, and
// every handle is closed on every path.
TEST(ReverseCases, EveryFailingCallIsReportedAndNothingLeaks) {
  TempDir dir;
  Bytes samples(3 * 333334);  // 24-bit mono: eight units, whose edges cut frames
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i + i / 251);
  WriteFile(dir.File("in.wav"), MakeWav(1, 24, 8000, samples));
  ASSERT_EQ(ReferenceReverse(dir.File("in.wav"), dir.File("expected.wav")), TARNWICK_DONE);
  const Bytes expected = ReadFile(dir.File("expected.wav"));
  const std::u16string in = Utf16(dir.File("in.wav"));
  const std::u16string out = Utf16(dir.File("out.wav"));
  const OwnedReverseBuffers buffers(kReverseBlockBytes, kStagingBytes, 0);
  const FileCall calls[] = {FileCall::kOpenRead, FileCall::kCreate,  FileCall::kRead,
                            FileCall::kReadAt,   FileCall::kWrite,   FileCall::kWriteAt,
                            FileCall::kSize,     FileCall::kReserve, FileCall::kClose};
  // The output made in the order this system's files prefer, and in the other.
  FileOps other_order = FaultFileOps();
  other_order.writes_in_any_order = !other_order.writes_in_any_order;
  const Fault faults[] = {Fault::kFail, Fault::kShortRead, Fault::kNoSpace};
  const int descriptors = OpenDescriptorCount();
  const int starts = ThreadStarts();
  int hits = 0;
  for (const FileOps* files : {&FaultFileOps(), static_cast<const FileOps*>(&other_order)}) {
    for (const ThreadOps* threads : {&CountedThreadOps(), &RefusedThreadOps()}) {
      for (FileCall call : calls) {
        for (Fault fault : faults) {
          for (int nth = 1; nth <= 5; ++nth) {
            std::remove(dir.File("out.wav").c_str());
            ArmFault({call, nth, fault});
            const std::int32_t result =
                ReverseWavFileWithBuffers(*files, in.c_str(), out.c_str(), buffers.get(), *threads);
            const std::string what = "call " + std::to_string(static_cast<int>(call)) + ", fault " +
                                     std::to_string(static_cast<int>(fault)) + ", nth " + std::to_string(nth) +
                                     (threads == &RefusedThreadOps() ? ", no worker" : "") +
                                     (files->writes_in_any_order ? ", from the last unit" : ", from the first unit");
            EXPECT_EQ(OpenHandles(), 0) << what;
            const Bytes output = FileExists(dir.File("out.wav")) ? ReadFile(dir.File("out.wav")) : Bytes{};
            EXPECT_TRUE(output.size() <= expected.size() && std::equal(output.begin(), output.end(), expected.begin()))
                << what << ": not the start of the right output";
            EXPECT_TRUE(output.size() <= 44 || (output.size() - 44) % 3 == 0) << what << ": a part of a frame";
            if (result == TARNWICK_DONE) {
              EXPECT_EQ(output.size(), expected.size()) << what;
            }
            // Closing the input (always the first close) loses nothing; the
            // output's size (the second) only tells whether two threads can
            // write at offsets.
            const bool harmless = call == FileCall::kReserve || (call == FileCall::kClose && nth == 1) ||
                                  (call == FileCall::kSize && nth == 2);
            if (!FaultHit() || harmless) {
              EXPECT_EQ(result, TARNWICK_DONE) << what;
              hits += FaultHit() ? 1 : 0;
              continue;
            }
            ++hits;
            const bool output_side = call == FileCall::kCreate || call == FileCall::kWrite ||
                                     call == FileCall::kWriteAt || call == FileCall::kClose;
            const bool header_cut_short = call == FileCall::kRead && fault == Fault::kShortRead;
            EXPECT_EQ(result, header_cut_short ? TARNWICK_REVERSE_NOT_WAVE
                              : output_side    ? TARNWICK_REVERSE_OUTPUT_FAILED
                                               : TARNWICK_REVERSE_INPUT_FAILED)
                << what;
          }
        }
      }
    }
  }
  ClearFaults();
  EXPECT_GT(hits, 100);
  EXPECT_GT(ThreadStarts(), starts) << "the worker thread was used";
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

// A file system full of 64-bit offsets: the input claims a size past 4 GiB and
// serves, at every offset, bytes derived from that offset; each unit written
// must start and end with the frames that belong at its offset, whichever
// thread writes it, in order or at its offset.
namespace huge {
constexpr std::uint64_t kSize = (std::uint64_t{1} << 32) + (std::uint64_t{1} << 31) + 44 + 4 * 1000;
std::atomic<std::uint64_t> written{0};
std::atomic<bool> mismatch{false};
std::uint64_t position = 44;  // where a write at the current position lands

void Stamp(std::uint8_t* at, std::uint64_t offset) {
  const auto tag = static_cast<std::uint32_t>(offset ^ (offset >> 32) * 0x9E3779B1u);
  std::memcpy(at, &tag, 4);
}
bool OpenRead(const char*, FileHandle* file) { return *file = 3, true; }
CreateResult Create(const char*, FileHandle, FileHandle* file) { return *file = 4, CreateResult::kCreated; }
bool Read(FileHandle, void* buffer, std::size_t n, std::size_t* got) {
  WAVHeader header{};
  FillPcmHeader(header, 2, 44100, 16, 0);
  std::memcpy(buffer, header.bytes, n);
  *got = n;
  return true;
}
bool ReadAt(FileHandle, std::uint64_t offset, void* buffer, std::size_t n, std::size_t* got) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  Stamp(bytes, offset);                  // first frame of the block
  Stamp(bytes + n - 4, offset + n - 4);  // last frame of the block
  *got = n;
  return true;
}
// Output offset `at` holds the frame that starts at input offset kSize - (at - 44) - 4.
bool WriteAt(FileHandle, std::uint64_t at, const void* buffer, std::size_t n) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  std::uint8_t expected[4];
  Stamp(expected, kSize - (at - 44) - 4);
  bool wrong = std::memcmp(bytes, expected, 4) != 0;
  Stamp(expected, kSize - (at - 44) - n);
  wrong |= std::memcmp(bytes + n - 4, expected, 4) != 0;
  if (wrong) mismatch = true;
  written += n;
  return true;
}
bool Write(FileHandle file, const void* buffer, std::size_t n) {
  if (n == 44) return true;  // the header
  position += n;
  return WriteAt(file, position - n, buffer, n);
}
bool Size(FileHandle, std::uint64_t* bytes) { return *bytes = kSize, true; }
bool Truncate(FileHandle, std::uint64_t) { return false; }
bool Reserve(FileHandle, std::uint64_t) { return false; }
bool Close(FileHandle) { return true; }
constexpr FileOps kOps = {OpenRead, Create, Read, ReadAt, Write, WriteAt, Size, Truncate, Reserve, Close, true};
}  // namespace huge

TEST(ReverseCases, OffsetsPastFourGibibytesDoNotWrap) {
  EXPECT_EQ(ReverseWavFile(huge::kOps, u"in", u"out"), TARNWICK_DONE);
  EXPECT_FALSE(huge::mismatch);
  EXPECT_EQ(huge::written, huge::kSize - 44) << "every frame down to byte 44 was written";
}

}  // namespace
}  // namespace tarnwick::test
