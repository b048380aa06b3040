// tarnwick reverse, run as a user runs it: exact output bytes, sox as an
// independent oracle, one message and a distinct exit code per failure, the
// warning for files whose samples do not start at byte 44, UTF-8 paths.

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cli_files.h"
#include "cli_process.h"

namespace tarnwick::clitest {
namespace {

struct Format {
  const char* name;  // also the test's name
  std::uint16_t channels;
  std::uint16_t bits;
  std::size_t frames;
};
void PrintTo(const Format& value, std::ostream* os) { *os << value.name; }

class ReverseBytes : public ::testing::TestWithParam<Format> {};

TEST_P(ReverseBytes, WritesTheHeaderThenTheFramesBackwards) {
  const Format f = GetParam();
  TempDir dir;
  const std::size_t frame = f.channels * f.bits / 8u;
  const Bytes input = MakeWav(f.channels, f.bits, 8000, PatternBytes(f.frames * frame, f.bits));
  WriteFile(dir.File("in.wav"), input);
  const ProcessResult run = RunCli({"reverse", dir.File("in.wav"), dir.File("out.wav")});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");  // a canonical file draws no warning
  EXPECT_EQ(ReadFile(dir.File("out.wav")), ExpectedReversal(input, frame));
}

INSTANTIATE_TEST_SUITE_P(Formats, ReverseBytes,
                         ::testing::Values(Format{"u8_stereo", 2, 8, 1001}, Format{"s16_three", 3, 16, 777},
                                           Format{"s24_stereo", 2, 24, 20000}, Format{"s32_mono", 1, 32, 4099},
                                           Format{"header_only", 2, 16, 0}),
                         [](const auto& p) { return std::string(p.param.name); });

// sox reverses by its own code; for canonical files its data bytes are the
// reference. Dither is off so that sox copies the samples exactly.
class ReverseAgainstSox : public ::testing::TestWithParam<Format> {};

TEST_P(ReverseAgainstSox, DataMatchesSoxReverse) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed (scripts/install-deps.sh test installs it)";
  const Format f = GetParam();
  TempDir dir;
  const std::string in = dir.File("in.wav");
  ASSERT_EQ(RunProcess({"sox",
                        "-D",
                        "-n",
                        "-r",
                        "8000",
                        "-c",
                        std::to_string(f.channels),
                        "-b",
                        std::to_string(f.bits),
                        in,
                        "synth",
                        "0.37",
                        "sine",
                        "200-1800",
                        "sine",
                        "3000",
                        "fade",
                        "t",
                        "0.3",
                        "0",
                        "0"})
                .exit_code,
            0);
  ASSERT_EQ(RunProcess({"sox", "-D", in, dir.File("sox.wav"), "reverse"}).exit_code, 0);
  const ProcessResult run = RunCli({"reverse", in, dir.File("cli.wav")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const Bytes input = ReadFile(in);
  const Bytes ours = ReadFile(dir.File("cli.wav"));
  const Bytes theirs = ReadFile(dir.File("sox.wav"));
  ASSERT_EQ(ours.size(), theirs.size());
  EXPECT_TRUE(std::equal(ours.begin(), ours.begin() + 44, input.begin()));
  EXPECT_TRUE(std::equal(ours.begin() + 44, ours.end(), theirs.begin() + 44));
}

INSTANTIATE_TEST_SUITE_P(Formats, ReverseAgainstSox,
                         ::testing::Values(Format{"u8_mono", 1, 8, 0}, Format{"s16_mono", 1, 16, 0},
                                           Format{"s16_stereo", 2, 16, 0}),
                         [](const auto& p) { return std::string(p.param.name); });

struct Failure {
  const char* name;  // also the test's name
  int exit_code;
  const char* message;  // part of the one stderr line
  bool message_names_output;
};
void PrintTo(const Failure& value, std::ostream* os) { *os << value.name; }

class ReverseFailure : public ::testing::TestWithParam<Failure> {};

TEST_P(ReverseFailure, ExitsWithTheResultAndOneLine) {
  const Failure f = GetParam();
  TempDir dir;
  std::string in = dir.File("in.wav");
  std::string out = dir.File("out.wav");
  const Bytes good = MakeWav(2, 16, 8000, PatternBytes(400, 1));
  const std::string name = f.name;
  if (name == "missing_input") {
  } else if (name == "input_is_a_directory") {
    in = dir.File("");
  } else if (name == "zero_bit_samples") {
    Bytes bad = good;
    bad[34] = 0;
    WriteFile(in, bad);
  } else if (name == "output_directory_missing") {
    WriteFile(in, good);
    out = dir.File("no/such/dir/out.wav");
  } else if (name == "output_is_input") {
    WriteFile(in, good);
    out = in;
  } else if (name == "not_wave") {
    Bytes avi = good;
    std::copy_n("AVI ", 4, avi.begin() + 8);
    WriteFile(in, avi);
  } else if (name == "shorter_than_header") {
    WriteFile(in, Bytes(good.begin(), good.begin() + 30));
  }
  const ProcessResult run = RunCli({"reverse", in, out});
  EXPECT_EQ(run.exit_code, f.exit_code);
  const auto lines = run.ErrLines();
  ASSERT_EQ(lines.size(), 1u) << run.err;
  EXPECT_EQ(lines[0].rfind("tarnwick: ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(f.message), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("'" + (f.message_names_output ? out : in) + "'"), std::string::npos) << lines[0];
  if (name == "output_is_input") {
    EXPECT_EQ(ReadFile(in), good);
  }
}

INSTANTIATE_TEST_SUITE_P(Results, ReverseFailure,
                         ::testing::Values(Failure{"missing_input", 1, "cannot read", false},
                                           Failure{"input_is_a_directory", 1, "cannot read", false},
                                           Failure{"zero_bit_samples", 1, "unsupported frame size", false},
                                           Failure{"output_directory_missing", 2, "cannot write", true},
                                           Failure{"output_is_input", 2, "the input file", true},
                                           Failure{"not_wave", 4, "not a WAVE file", false},
                                           Failure{"shorter_than_header", 4, "not a WAVE file", false}),
                         [](const auto& p) { return std::string(p.param.name); });

// Chunks the library does not know about are reversed with the samples: the
// tool says so, and the reversal still happens exactly as for any file.
TEST(ReverseWarning, HandMadeListChunkBeforeData) {
  TempDir dir;
  Bytes file = MakeWav(2, 16, 8000, {});
  file.resize(36);
  const Bytes info = {'L', 'I', 'S', 'T', 24,  0,   0,   0,   'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T',
                      12,  0,   0,   0,   'h', 'a', 'n', 'd', '-', 'm', 'a', 'd', 'e', '!', 0,   0};
  file.insert(file.end(), info.begin(), info.end());
  const Bytes data = PatternBytes(4000, 7);
  const Bytes chunk = {'d', 'a', 't', 'a', 0xA0, 0x0F, 0, 0};
  file.insert(file.end(), chunk.begin(), chunk.end());
  file.insert(file.end(), data.begin(), data.end());
  WriteFile(dir.File("list.wav"), file);

  const ProcessResult run = RunCli({"reverse", dir.File("list.wav"), dir.File("out.wav")});
  EXPECT_EQ(run.exit_code, 0);
  ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
  EXPECT_NE(run.err.find("warning"), std::string::npos);
  EXPECT_NE(run.err.find("\"LIST\""), std::string::npos);
  EXPECT_NE(run.err.find("reversed as if they were samples"), std::string::npos);
  EXPECT_EQ(ReadFile(dir.File("out.wav")), ExpectedReversal(file, 4));
}

TEST(ReverseWarning, SoxExtensibleFormat) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed (scripts/install-deps.sh test installs it)";
  TempDir dir;
  const std::string in = dir.File("s24.wav");
  // sox writes 24-bit audio with the extensible format: a 40-byte format
  // chunk and a fact chunk before the data.
  ASSERT_EQ(RunProcess({"sox", "-n", "-r", "8000", "-c", "1", "-b", "24", in, "synth", "0.1", "sine", "440"}).exit_code,
            0);
  const ProcessResult run = RunCli({"reverse", in, dir.File("out.wav")});
  EXPECT_EQ(run.exit_code, 0);
  ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
  EXPECT_NE(run.err.find("format chunk is 40 bytes"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(dir.File("out.wav")), ExpectedReversal(ReadFile(in), 3));
}

TEST(ReverseWarning, ChunkAfterTheData) {
  TempDir dir;
  Bytes file = MakeWav(1, 16, 8000, PatternBytes(1000, 3));
  const Bytes tail = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
  file.insert(file.end(), tail.begin(), tail.end());
  WriteFile(dir.File("tail.wav"), file);
  const ProcessResult run = RunCli({"reverse", dir.File("tail.wav"), dir.File("out.wav")});
  EXPECT_EQ(run.exit_code, 0);
  ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
  EXPECT_NE(run.err.find("12 bytes after its data chunk"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(dir.File("out.wav")), ExpectedReversal(file, 2));
}

TEST(ReversePaths, NonAsciiUtf8NamesWorkEndToEnd) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("dïr ñ"));
  const std::string in = dir.File("dïr ñ/ünï€😀.wav");
  const std::string out = dir.File("dïr ñ/😀 reversed ü.wav");
  const Bytes input = MakeWav(2, 16, 44100, PatternBytes(std::size_t{4} * 300, 5));
  WriteFile(in, input);
  const ProcessResult run = RunCli({"reverse", in, out});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadFile(out), ExpectedReversal(input, 4));
  EXPECT_EQ(RunCli({"show", out}).exit_code, 0);
}

struct BadUtf8 {
  const char* name;  // also the test's name
  const char* bytes;
  bool as_output;
};
void PrintTo(const BadUtf8& value, std::ostream* os) { *os << value.name; }

class ReverseBadUtf8 : public ::testing::TestWithParam<BadUtf8> {};

TEST_P(ReverseBadUtf8, RefusedBeforeAnythingIsWritten) {
  const BadUtf8 b = GetParam();
  TempDir dir;
  const std::string good_in = dir.File("in.wav");
  WriteFile(good_in, MakeWav(1, 16, 8000, PatternBytes(100, 2)));
  const std::string bad = dir.File(b.bytes);
  const ProcessResult run =
      b.as_output ? RunCli({"reverse", good_in, bad}) : RunCli({"reverse", bad, dir.File("out.wav")});
  EXPECT_EQ(run.exit_code, 64);
  ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
  EXPECT_NE(run.err.find("not valid UTF-8"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(bad));
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.wav")));
}

INSTANTIATE_TEST_SUITE_P(Paths, ReverseBadUtf8,
                         ::testing::Values(BadUtf8{"latin1_output", "caf\xE9.wav", true},
                                           BadUtf8{"overlong_slash", "a\xC0\xAF.wav", true},
                                           BadUtf8{"encoded_surrogate", "\xED\xA0\x80.wav", true},
                                           BadUtf8{"above_unicode", "\xF4\x90\x80\x80.wav", true},
                                           BadUtf8{"truncated_input", "x\xE2\x82", false}),
                         [](const auto& p) { return std::string(p.param.name); });

// On a terminal a long reversal shows how far it has got, and clears the
// line when done; the tests make "long" mean at once. Elsewhere nothing is
// printed (the exact-bytes tests above expect silence).
TEST(Reverse, OnATerminalShowsProgressAndClearsIt) {
  TempDir dir;
  const Bytes input = MakeWav(2, 16, 8000, PatternBytes(4 * 2000000, 16));
  WriteFile(dir.File("in.wav"), input);
  const TerminalChild child =
      StartCliOnTerminal({"reverse", dir.File("in.wav"), dir.File("out.wav")}, {"TARNWICK_PROGRESS_DELAY_MS=0"});
  ASSERT_GE(child.pid, 0);
  const std::string screen = DrainTerminal(child.master);
  const int status = WaitTerminalChild(child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << screen;
  EXPECT_NE(screen.find("\rreversing into " + dir.File("out.wav") + ": "), std::string::npos) << screen;
  EXPECT_NE(screen.find(" MB)"), std::string::npos) << screen;
  EXPECT_EQ(screen.back(), '\r') << "the line is cleared at the end";
  EXPECT_EQ(ReadFile(dir.File("out.wav")), ExpectedReversal(input, 4));
}

}  // namespace
}  // namespace tarnwick::clitest
