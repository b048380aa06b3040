// The tool's command line as a user meets it: the exit code and the one
// message of every usage mistake, --help and --version.

#include <gtest/gtest.h>

#include "cli_files.h"
#include "cli_process.h"

namespace tarnwick::clitest {
namespace {

struct Usage {
  const char* name;  // also the test's name
  std::vector<std::string> args;
  int exit_code;
  const char* in_output;  // expected in stdout when the exit code is 0, else in stderr
};
void PrintTo(const Usage& value, std::ostream* os) { *os << value.name; }

class CommandLineUsage : public ::testing::TestWithParam<Usage> {};

TEST_P(CommandLineUsage, ExitCodeAndMessage) {
  const Usage u = GetParam();
  const ProcessResult run = RunCli(u.args);
  EXPECT_EQ(run.exit_code, u.exit_code);
  const std::string& text = u.exit_code == 0 ? run.out : run.err;
  EXPECT_NE(text.find(u.in_output), std::string::npos) << text;
  if (u.exit_code != 0) {
    EXPECT_EQ(run.ErrLines().size(), 1u) << run.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineUsage,
    ::testing::Values(Usage{"version", {"--version"}, 0, "tarnwick " TARNWICK_VERSION "\n"},
                      Usage{"help_lists_commands", {"--help"}, 0, "tarnwick show FILE"},
                      Usage{"help_after_a_command", {"reverse", "--help"}, 0, "tarnwick reverse IN OUT"},
                      Usage{"no_command", {}, 64, "no command"},
                      Usage{"unknown_command", {"frobnicate"}, 64, "unknown command 'frobnicate'"},
                      Usage{"too_few_arguments", {"reverse", "in.wav"}, 64, "usage: tarnwick reverse IN OUT"},
                      Usage{"too_many_arguments", {"show", "a", "b"}, 64, "usage: tarnwick show"},
                      Usage{"option_of_another_command", {"reverse", "a", "b", "--width", "9"}, 64, "--width"},
                      Usage{"unknown_short_option", {"-x", "show", "a"}, 64, "unknown option -x"},
                      Usage{"option_without_value", {"show", "a", "--width"}, 64, "needs a value"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tarnwick::clitest
