#include "cli_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace tarnwick::clitest {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::vector<std::string> ProcessResult::ErrLines() const {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  // The child's output goes to files, not pipes: nothing to drain while
  // waiting, however much it prints.
  char out_name[] = "/tmp/tarnwick-cli-out-XXXXXX";
  char err_name[] = "/tmp/tarnwick-cli-err-XXXXXX";
  const int out_fd = ::mkstemp(out_name);
  const int err_fd = ::mkstemp(err_name);

  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable(*entry);
    bool replaced = false;
    for (const std::string& extra : env) {
      if (variable.substr(0, variable.find('=') + 1) == extra.substr(0, extra.find('=') + 1)) replaced = true;
    }
    if (!replaced) environment.push_back(variable);
  }
  environment.insert(environment.end(), env.begin(), env.end());

  std::vector<char*> child_argv;
  for (const std::string& arg : argv) child_argv.push_back(const_cast<char*>(arg.c_str()));
  child_argv.push_back(nullptr);
  std::vector<char*> child_env;
  for (const std::string& variable : environment) child_env.push_back(const_cast<char*>(variable.c_str()));
  child_env.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  ::posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  pid_t pid = 0;
  ProcessResult result;
  if (::posix_spawnp(&pid, child_argv[0], &actions, nullptr, child_argv.data(), child_env.data()) == 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  }
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(out_fd);
  ::close(err_fd);
  result.out = Slurp(out_name);
  result.err = Slurp(err_name);
  ::unlink(out_name);
  ::unlink(err_name);
  return result;
}

ProcessResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<std::string> argv{TARNWICK_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, env);
}

bool HaveSox() {
  static const bool have = RunProcess({"sox", "--version"}).exit_code == 0;
  return have;
}

}  // namespace tarnwick::clitest
