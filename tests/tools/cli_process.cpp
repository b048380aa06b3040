#include "cli_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

namespace tarnwick::clitest {
namespace {

// The whole file, then the file itself is gone.
std::string TakeFile(const char* path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  ::unlink(path);
  return text.str();
}

}  // namespace

std::vector<std::string> ProcessResult::ErrLines() const {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ProcessResult RunProcess(const std::vector<std::string>& argv) {
  // The child's output goes to files, not pipes: nothing to drain while
  // waiting, however much it prints.
  char out_name[] = "/tmp/tarnwick-cli-out-XXXXXX";
  char err_name[] = "/tmp/tarnwick-cli-err-XXXXXX";
  const int out_fd = ::mkstemp(out_name);
  const int err_fd = ::mkstemp(err_name);
  std::vector<char*> child_argv;
  child_argv.reserve(argv.size() + 1);
  for (const std::string& arg : argv) child_argv.push_back(const_cast<char*>(arg.c_str()));
  child_argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  ::posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  ProcessResult result;
  pid_t pid = 0;
  if (::posix_spawnp(&pid, child_argv[0], &actions, nullptr, child_argv.data(), environ) == 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  }
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(out_fd);
  ::close(err_fd);
  result.out = TakeFile(out_name);
  result.err = TakeFile(err_name);
  return result;
}

ProcessResult RunCli(const std::vector<std::string>& args) {
  std::vector<std::string> argv{TARNWICK_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv);
}

bool HaveSox() {
  static const bool have = RunProcess({"sox", "--version"}).exit_code == 0;
  return have;
}

}  // namespace tarnwick::clitest
