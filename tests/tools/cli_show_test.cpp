// tarnwick show: the drawing must make a reversal visible, read every sample
// format correctly, and refuse what it cannot draw.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli_files.h"
#include "cli_process.h"

namespace tarnwick::clitest {
namespace {

// The plot's rows, only what lies between the frame's bars.
std::vector<std::string> PlotRows(const std::string& out) {
  std::vector<std::string> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const auto first = line.find('|');
    const auto last = line.rfind('|');
    if (first != std::string::npos && last > first) rows.push_back(line.substr(first + 1, last - first - 1));
  }
  return rows;
}

// How many rows each column's bar fills.
std::vector<int> BarHeights(const std::vector<std::string>& rows) {
  std::vector<int> heights(rows.empty() ? 0 : rows[0].size(), 0);
  for (const std::string& row : rows) {
    for (std::size_t c = 0; c < row.size() && c < heights.size(); ++c) heights[c] += row[c] != ' ';
  }
  return heights;
}

TEST(Show, ARisingSoundRampsUpAndItsReversalRampsDown) {
  if (!HaveSox()) GTEST_SKIP() << "sox is not installed (scripts/install-deps.sh test installs it)";
  TempDir dir;
  // 8000 frames in 40 columns: the columns of the file and of its reversal
  // cover mirrored stretches, so the drawings must be exact mirrors.
  ASSERT_EQ(RunProcess({"sox", "-n", "-r", "8000", "-c", "1", "-b", "16", dir.File("rise.wav"), "synth", "1", "sine",
                        "440", "fade", "t", "1", "0", "0"})
                .exit_code,
            0);
  ASSERT_EQ(RunCli({"reverse", dir.File("rise.wav"), dir.File("fall.wav")}).exit_code, 0);
  const ProcessResult rise = RunCli({"show", dir.File("rise.wav"), "--width", "40"});
  const ProcessResult fall = RunCli({"show", "--width=40", dir.File("fall.wav")});
  ASSERT_EQ(rise.exit_code, 0) << rise.err;
  ASSERT_EQ(fall.exit_code, 0) << fall.err;
  EXPECT_NE(rise.out.find("8000 frames (1.000 s)"), std::string::npos) << rise.out;

  const std::vector<std::string> rows = PlotRows(rise.out);
  ASSERT_EQ(rows.size(), 8u) << rise.out;
  const std::vector<int> heights = BarHeights(rows);
  ASSERT_EQ(heights.size(), 40u);
  EXPECT_LE(heights.front(), 1);
  EXPECT_EQ(heights.back(), 8);
  EXPECT_TRUE(std::is_sorted(heights.begin(), heights.end())) << rise.out;

  std::vector<std::string> mirrored = PlotRows(fall.out);
  for (std::string& row : mirrored) std::reverse(row.begin(), row.end());
  EXPECT_EQ(mirrored, rows) << rise.out << fall.out;
}

struct SampleFormat {
  const char* name;  // also the test's name
  std::uint16_t bits;
  std::uint32_t silence;        // the sample value of zero amplitude
  std::uint32_t half_negative;  // minus half of full scale
};
void PrintTo(const SampleFormat& value, std::ostream* os) { *os << value.name; }

class ShowFormats : public ::testing::TestWithParam<SampleFormat> {};

// Silence, then the right channel alone at minus half scale: a wrongly signed
// or wrongly sized sample shows as a different peak or a different shape.
TEST_P(ShowFormats, ReadsSignAndSizeOfEverySampleFormat) {
  const SampleFormat f = GetParam();
  TempDir dir;
  const std::size_t bytes = f.bits / 8u;
  Bytes data;
  for (int frame = 0; frame < 1600; ++frame) {
    for (int channel = 0; channel < 2; ++channel) {
      const std::uint32_t value = frame >= 800 && channel == 1 ? f.half_negative : f.silence;
      for (std::size_t i = 0; i < bytes; ++i) data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
  }
  WriteFile(dir.File("step.wav"), MakeWav(2, f.bits, 8000, data));
  const ProcessResult run = RunCli({"show", dir.File("step.wav"), "--width", "16"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("peak 50.0% of full scale"), std::string::npos) << run.out;
  const std::vector<int> heights = BarHeights(PlotRows(run.out));
  const std::vector<int> expected = {0, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 8, 8, 8, 8};
  EXPECT_EQ(heights, expected) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Bits, ShowFormats,
                         ::testing::Values(SampleFormat{"u8", 8, 0x80, 0x40}, SampleFormat{"s16", 16, 0, 0xC000},
                                           SampleFormat{"s24", 24, 0, 0xC00000},
                                           SampleFormat{"s32", 32, 0, 0xC0000000}),
                         [](const auto& p) { return std::string(p.param.name); });

struct Refusal {
  const char* name;  // also the test's name
  int exit_code;
};
void PrintTo(const Refusal& value, std::ostream* os) { *os << value.name; }

class ShowRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ShowRefusal, ExitCodeAndOneLine) {
  const Refusal r = GetParam();
  TempDir dir;
  Bytes file = MakeWav(1, 16, 8000, PatternBytes(200, 4));
  const std::string name = r.name;
  if (name == "twelve_bit") file[34] = 12;
  if (name == "float") file[20] = 3;
  if (name == "not_wave") std::copy_n("AVI ", 4, file.begin() + 8);
  if (name != "missing") WriteFile(dir.File("f.wav"), file);
  const ProcessResult run = RunCli({"show", dir.File("f.wav")});
  EXPECT_EQ(run.exit_code, r.exit_code);
  EXPECT_EQ(run.ErrLines().size(), 1u) << run.err;
  EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(Files, ShowRefusal,
                         ::testing::Values(Refusal{"missing", 1}, Refusal{"twelve_bit", 1}, Refusal{"float", 1},
                                           Refusal{"not_wave", 4}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tarnwick::clitest
