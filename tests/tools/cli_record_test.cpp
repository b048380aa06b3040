// tarnwick record, run as a child process against real ALSA: the paced
// virtual device of the capture tests, whose every sample is known, and a
// configuration with no device at all. Whatever stops the recording, the file
// must be finished (sox reads it, its size is what the tool reported), and
// only a real stop may end it: end of file on stdin must not.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli_files.h"
#include "cli_process.h"
#include "recording_format.h"
#include "virtual_audio_env.h"

namespace tarnwick::clitest {
namespace {

using namespace std::chrono_literals;

using tarnwick::kBlockBytes;

// The seconds in "recorded N seconds to OUT", or -1 when `out` is not that line.
int ReportedSeconds(const std::string& out, const std::string& path) {
  std::smatch match;
  const std::regex line("(?:^|\\r)recorded ([0-9]+) seconds? to (.*)\\r?\\n$");
  if (!std::regex_search(out, match, line) || match[2] != path) return -1;
  return std::stoi(match[1]);
}

// The file is a finished recording of `seconds` whole blocks, as sox reads
// it: the virtual device's samples without a gap, then, in the last block
// only, the silence that pads the part of a second left when it stopped.
void ExpectFinishedRecording(const std::string& path, int seconds) {
  const Bytes file = ReadFile(path);
  ASSERT_EQ(file.size(), 44 + kBlockBytes * static_cast<std::size_t>(seconds));
  if (HaveSox()) {
    const ProcessResult info = RunProcess({"sox", "--i", path});
    EXPECT_EQ(info.exit_code, 0) << info.err;
    EXPECT_NE(info.out.find("Channels       : 1"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Sample Rate    : 8000"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Precision      : 16-bit"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("= " + std::to_string(8000 * seconds) + " samples"), std::string::npos) << info.out;
  }
  test::ExpectRampThenSilence(file);
}

enum class Stopper { kDeadline, kSigint, kSigterm, kEnter };

struct StopCase {
  const char* name;  // also the test's name
  std::vector<std::string> options;
  ChildStdin stdin_kind;
  Stopper stopper;
  int min_seconds;
  int max_seconds;
};
void PrintTo(const StopCase& value, std::ostream* os) { *os << value.name; }

class RecordStops : public ::testing::TestWithParam<StopCase> {};

TEST_P(RecordStops, FinishesTheFileWhateverStopsIt) {
  const StopCase c = GetParam();
  TempDir dir;
  const std::string path = dir.File("rec.wav");
  std::vector<std::string> argv{TARNWICK_CLI, "record", path};
  argv.insert(argv.end(), c.options.begin(), c.options.end());
  ChildProcess child(argv, c.stdin_kind);
  ASSERT_TRUE(child.started());
  if (c.stopper != Stopper::kDeadline) {
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(child.Running()) << "the recording ended before anything stopped it";
    switch (c.stopper) {
      case Stopper::kSigint: child.Signal(SIGINT); break;
      case Stopper::kSigterm: child.Signal(SIGTERM); break;
      case Stopper::kEnter: child.WriteStdin("\n"); break;
      case Stopper::kDeadline: break;
    }
  }
  const ProcessResult run = child.Wait();
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.find('\r'), std::string::npos) << "a status line, though stdout is no terminal";
  const int seconds = ReportedSeconds(run.out, path);
  EXPECT_GE(seconds, c.min_seconds) << run.out;
  EXPECT_LE(seconds, c.max_seconds) << run.out;
  if (seconds > 0) ExpectFinishedRecording(path, seconds);
}

// A deadline of N seconds cannot be met in fewer than N whole blocks; without
// a deadline, 1.5 s of recording is one whole block and the one in progress.
INSTANTIATE_TEST_SUITE_P(
    Cases, RecordStops,
    ::testing::Values(
        StopCase{
            "seconds_with_stdin_at_end_of_file", {"--seconds", "2"}, ChildStdin::kDevNull, Stopper::kDeadline, 2, 4},
        StopCase{"seconds_with_stdin_closed", {"--seconds=1"}, ChildStdin::kClosed, Stopper::kDeadline, 1, 3},
        StopCase{"sigint_with_stdin_at_end_of_file", {}, ChildStdin::kDevNull, Stopper::kSigint, 1, 3},
        StopCase{"sigterm_with_stdin_closed", {}, ChildStdin::kClosed, Stopper::kSigterm, 1, 3},
        StopCase{"enter_on_a_pipe", {}, ChildStdin::kPipe, Stopper::kEnter, 1, 3}),
    [](const auto& instance) { return std::string(instance.param.name); });

// `--seconds N` counts the device's seconds: a device that starts 1.5 s late,
// on a machine whose two cores are kept busy, still gives exactly N whole
// blocks of its ramp, the last of them at least 0.8 s of sound.
TEST(Record, SecondsAreTheDevicesThoughItStartsLateOnABusyMachine) {
  test::AlsaConfigOverride late(test::PacedDevice("start_delay_ms 1500"));
  ChildProcess busy[] = {{{"sh", "-c", "while :; do :; done"}, ChildStdin::kDevNull},
                         {{"sh", "-c", "while :; do :; done"}, ChildStdin::kDevNull}};
  for (const int seconds : {2, 3, 2}) {
    SCOPED_TRACE(std::to_string(seconds) + " seconds");
    TempDir dir;
    const ProcessResult run = RunCli({"record", dir.File("rec.wav"), "--seconds", std::to_string(seconds)});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(ReportedSeconds(run.out, dir.File("rec.wav")), seconds) << run.out;
    const Bytes file = ReadFile(dir.File("rec.wav"));
    ASSERT_EQ(file.size(), 44 + kBlockBytes * static_cast<std::size_t>(seconds));
    std::vector<std::int16_t> samples((file.size() - 44) / 2);
    std::memcpy(samples.data(), file.data() + 44, samples.size() * 2);
    const test::RampCheck check = test::CheckRamp(samples);
    EXPECT_EQ(check.off, samples.size()) << "a sample off the ramp";
    EXPECT_LE(check.padding, kRecordingRate / 5) << "the last block holds less than 0.8 s";
  }
}

TEST(Record, NoCaptureDeviceExitsOneAndLeavesAnEmptyRecording) {
  test::AlsaConfigOverride no_devices("pcm.default { type hw card 99 }\n");
  TempDir dir;
  const std::string path = dir.File("rec.wav");
  const ProcessResult run = RunCli({"record", path, "--seconds", "5"});
  EXPECT_EQ(run.exit_code, 1);
  ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
  EXPECT_EQ(run.ErrLines()[0].rfind("tarnwick: ", 0), 0u) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadFile(path), MakeWav(1, 16, 8000, {}));
}

struct Refusal {
  const char* name;               // also the test's name
  std::vector<std::string> args;  // "OUT" stands for the output path
  int exit_code;
};
void PrintTo(const Refusal& value, std::ostream* os) { *os << value.name; }

class RecordRefuses : public ::testing::TestWithParam<Refusal> {};

// Refused before anything is recorded: one message, and no file.
TEST_P(RecordRefuses, WithOneMessageAndNoFile) {
  const Refusal r = GetParam();
  TempDir dir;
  std::vector<std::string> args = r.args;
  for (std::string& arg : args) {
    if (arg == "OUT") arg = dir.File("rec.wav");
  }
  const ProcessResult run = RunCli(args);
  EXPECT_EQ(run.exit_code, r.exit_code) << run.err;
  EXPECT_EQ(run.ErrLines().size(), 1u) << run.err;
  EXPECT_TRUE(ReadFile(dir.File("rec.wav")).empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordRefuses,
                         ::testing::Values(Refusal{"no_output", {"record"}, 64},
                                           Refusal{"two_outputs", {"record", "OUT", "OUT"}, 64},
                                           Refusal{"zero_seconds", {"record", "OUT", "--seconds", "0"}, 64},
                                           Refusal{"negative_seconds", {"record", "OUT", "--seconds=-1"}, 64},
                                           Refusal{"fractional_seconds", {"record", "OUT", "--seconds", "1.5"}, 64},
                                           Refusal{"past_the_wav_limit", {"record", "OUT", "--seconds", "268436"}, 64},
                                           Refusal{"option_of_another_command", {"record", "OUT", "--width", "10"}, 64},
                                           Refusal{"output_not_utf8", {"record", "OUT\xff"}, 64}),
                         [](const auto& instance) { return std::string(instance.param.name); });

constexpr const char* kFullScale = "peak   0.0 dB";

// On a terminal: a status line rewritten in place, whose meter shows the
// virtual device's full-scale ramp, and Enter ends the recording.
TEST(Record, OnATerminalShowsTheLevelAndStopsOnEnter) {
  TempDir dir;
  const std::string path = dir.File("rec.wav");
  const TerminalChild child = StartCliOnTerminal({"record", path});
  ASSERT_GE(child.pid, 0);
  const int master = child.master;
  // Enter once the meter has shown a level, however long the tool takes to
  // get there (an emulated build starts several times slower): the file then
  // holds a block or two.
  std::atomic<bool> full_scale{false};
  std::thread enter([master, &full_scale] {
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!full_scale && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
    (void)::write(master, "\n", 1);
  });
  const std::string screen = DrainTerminal(master, [&](const std::string& text) {
    if (text.find(kFullScale) != std::string::npos) full_scale = true;
  });
  enter.join();
  const int status = WaitTerminalChild(child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << screen;
  EXPECT_NE(screen.find("\rrec "), std::string::npos) << screen;
  EXPECT_NE(screen.find("Enter or Ctrl-C stops"), std::string::npos) << screen;
  EXPECT_NE(screen.find(kFullScale), std::string::npos) << "the ramp reaches full scale:\n" << screen;
  const int seconds = ReportedSeconds(screen, path);
  EXPECT_GE(seconds, 1) << screen;
  EXPECT_LE(seconds, 3) << screen;
  if (seconds > 0) ExpectFinishedRecording(path, seconds);
}

}  // namespace
}  // namespace tarnwick::clitest
