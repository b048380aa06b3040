// How the tool finds its library and reads its command line: the install
// layouts a host meets, an explicit --library, and the usage contract.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "cli_files.h"
#include "cli_process.h"
#include "target_program.h"

namespace tarnwick::clitest {
namespace {

namespace fs = std::filesystem;

struct Layout {
  const char* name;         // also the test's name
  const char* library_dir;  // relative to the scratch directory; the tool is in bin/
  bool through_ld_library_path;
  bool through_symlinked_tool;
};
void PrintTo(const Layout& value, std::ostream* os) { *os << value.name; }

class LibrarySearch : public ::testing::TestWithParam<Layout> {};

// A copy of the tool with the library copied where the layout puts it: a
// reversal that succeeds proves the library was found there.
TEST_P(LibrarySearch, FindsTheLibraryInTheLayout) {
  const Layout layout = GetParam();
  if (std::string(layout.library_dir).find("MULTIARCH") != std::string::npos &&
      std::string(TARNWICK_MULTIARCH).empty()) {
    GTEST_SKIP() << "no multiarch directory on this platform";
  }
  TempDir dir;
  fs::create_directories(dir.File("bin"));
  fs::copy_file(TARNWICK_CLI, dir.File("bin/tarnwick"));
  std::string library_dir = layout.library_dir;
  if (const auto at = library_dir.find("MULTIARCH"); at != std::string::npos) {
    library_dir.replace(at, 9, TARNWICK_MULTIARCH);
  }
  fs::create_directories(dir.File(library_dir));
  fs::copy_file(TARNWICK_LIBRARY, dir.File(library_dir + "/" + fs::path(TARNWICK_LIBRARY).filename().string()));
  std::string tool = dir.File("bin/tarnwick");
  if (layout.through_symlinked_tool) {
    fs::create_directories(dir.File("elsewhere"));
    fs::create_symlink(tool, dir.File("elsewhere/tarnwick"));
    tool = dir.File("elsewhere/tarnwick");
  }
  // `env` is a host program: the tool behind it is put through the emulator
  // here, when there is one.
  std::vector<std::string> argv = test::TargetCommand({tool, "reverse", dir.File("in.wav"), dir.File("out.wav")});
  if (layout.through_ld_library_path) argv.insert(argv.begin(), {"env", "LD_LIBRARY_PATH=" + dir.File(library_dir)});

  const Bytes input = MakeWav(1, 16, 8000, PatternBytes(64, 9));
  WriteFile(dir.File("in.wav"), input);
  const ProcessResult run = RunProcess(argv);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.File("out.wav")), ExpectedReversal(input, 2));
}

INSTANTIATE_TEST_SUITE_P(Layouts, LibrarySearch,
                         ::testing::Values(Layout{"beside_the_tool", "bin", false, false},
                                           Layout{"install_lib", "lib", false, false},
                                           Layout{"install_lib_multiarch", "lib/MULTIARCH", false, false},
                                           Layout{"system_search", "private", true, false},
                                           Layout{"tool_reached_through_a_symlink", "lib", false, true}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(LibrarySearch, NoLibraryAnywhereExits70) {
  if (void* installed = ::dlopen(fs::path(TARNWICK_LIBRARY).filename().c_str(), RTLD_NOW)) {
    ::dlclose(installed);
    GTEST_SKIP() << "a libTarnwick is installed on the system search path";
  }
  TempDir dir;
  fs::copy_file(TARNWICK_CLI, dir.File("tarnwick"));
  WriteFile(dir.File("in.wav"), MakeWav(1, 16, 8000, PatternBytes(64, 9)));
  const ProcessResult run = RunProcess({dir.File("tarnwick"), "reverse", dir.File("in.wav"), dir.File("out.wav")});
  EXPECT_EQ(run.exit_code, 70);
  ASSERT_EQ(run.ErrLines().size(), 1u) << run.err;
  EXPECT_NE(run.err.find("cannot load"), std::string::npos) << run.err;
}

struct ExplicitLibrary {
  const char* name;  // also the test's name
  std::string path;
  int exit_code;
};
void PrintTo(const ExplicitLibrary& value, std::ostream* os) { *os << value.name; }

class LibraryOption : public ::testing::TestWithParam<ExplicitLibrary> {};

TEST_P(LibraryOption, LoadsExactlyThatFile) {
  const ExplicitLibrary e = GetParam();
  TempDir dir;
  WriteFile(dir.File("not-a-library.so"), Bytes{'h', 'i', '\n'});
  WriteFile(dir.File("in.wav"), MakeWav(1, 16, 8000, PatternBytes(64, 9)));
  const std::string path = e.path == "TEXT" ? dir.File("not-a-library.so") : e.path;
  const ProcessResult run = RunCli({"reverse", "--library", path, dir.File("in.wav"), dir.File("out.wav")});
  EXPECT_EQ(run.exit_code, e.exit_code) << run.err;
  EXPECT_EQ(run.ErrLines().size(), e.exit_code == 0 ? 0u : 1u) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Paths, LibraryOption,
                         ::testing::Values(ExplicitLibrary{"the_real_library", TARNWICK_LIBRARY, 0},
                                           ExplicitLibrary{"bogus_path", "/no/such/libTarnwick.so.1", 70},
                                           ExplicitLibrary{"not_a_shared_object", "TEXT", 70},
                                           ExplicitLibrary{"library_without_the_export", TARNWICK_OTHER_LIBRARY, 70}),
                         [](const auto& p) { return std::string(p.param.name); });

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
                      Usage{"command_help", {"reverse", "--help"}, 0, "tarnwick reverse IN OUT"},
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
