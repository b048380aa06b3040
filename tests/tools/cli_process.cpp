#include "cli_process.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <sstream>

#include "target_program.h"

namespace tarnwick::clitest {
namespace {

// The whole file, then the file itself is gone.
std::string TakeFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  ::unlink(path.c_str());
  return text.str();
}

int TempFile(std::string* name) {
  char pattern[] = "/tmp/tarnwick-cli-output-XXXXXX";
  const int fd = ::mkstemp(pattern);
  *name = pattern;
  return fd;
}

}  // namespace

std::vector<std::string> ProcessResult::ErrLines() const {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ChildProcess::ChildProcess(const std::vector<std::string>& program_argv, ChildStdin stdin_kind) {
  out_fd_ = TempFile(&out_name_);
  err_fd_ = TempFile(&err_name_);
  const std::vector<std::string> argv = test::TargetCommand(program_argv);
  std::vector<char*> child_argv;
  child_argv.reserve(argv.size() + 1);
  for (const std::string& arg : argv) child_argv.push_back(const_cast<char*>(arg.c_str()));
  child_argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  int pipe_fds[2] = {-1, -1};
  switch (stdin_kind) {
    case ChildStdin::kDevNull: ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0); break;
    case ChildStdin::kClosed: ::posix_spawn_file_actions_addclose(&actions, 0); break;
    case ChildStdin::kPipe:
      if (::pipe2(pipe_fds, O_CLOEXEC) == 0) {
        ::posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], 0);
        stdin_fd_ = pipe_fds[1];
      }
      break;
  }
  ::posix_spawn_file_actions_adddup2(&actions, out_fd_, 1);
  ::posix_spawn_file_actions_adddup2(&actions, err_fd_, 2);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, child_argv[0], &actions, nullptr, child_argv.data(), environ) == 0) pid_ = pid;
  ::posix_spawn_file_actions_destroy(&actions);
  if (pipe_fds[0] >= 0) ::close(pipe_fds[0]);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    (void)Wait();
  }
  if (stdin_fd_ >= 0) ::close(stdin_fd_);
  if (out_fd_ >= 0) ::close(out_fd_);
  if (err_fd_ >= 0) ::close(err_fd_);
  if (!out_name_.empty()) ::unlink(out_name_.c_str());
  if (!err_name_.empty()) ::unlink(err_name_.c_str());
}

bool ChildProcess::Running() const {
  siginfo_t info{};
  return pid_ > 0 && ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

void ChildProcess::Signal(int signal_number) const {
  if (pid_ > 0) ::kill(pid_, signal_number);
}

void ChildProcess::WriteStdin(const std::string& text) const {
  if (stdin_fd_ >= 0) (void)::write(stdin_fd_, text.data(), text.size());
}

ProcessResult ChildProcess::Wait() {
  ProcessResult result;
  if (pid_ > 0) {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  }
  result.out = TakeFile(out_name_);
  result.err = TakeFile(err_name_);
  out_name_.clear();
  err_name_.clear();
  return result;
}

ProcessResult RunProcess(const std::vector<std::string>& argv) {
  ChildProcess child(argv, ChildStdin::kDevNull);
  return child.Wait();
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

TerminalChild StartCliOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
  std::vector<std::string> words{TARNWICK_CLI};
  words.insert(words.end(), args.begin(), args.end());
  // Built before the fork: the child only executes it.
  const std::vector<std::string> command = test::TargetCommand(words);
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  TerminalChild child;
  child.pid = ::forkpty(&child.master, nullptr, nullptr, nullptr);
  if (child.pid == 0) {
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return child;
}

int WaitTerminalChild(const TerminalChild& child) {
  int status = 0;
  while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  ::close(child.master);
  return status;
}

std::string DrainTerminal(int master, const std::function<void(const std::string&)>& seen) {
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(master, chunk, sizeof chunk);
    if (got > 0) {
      text.append(chunk, static_cast<std::size_t>(got));
      if (seen) seen(text);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return text;  // EIO once the child's side is closed
    }
  }
}

}  // namespace tarnwick::clitest
