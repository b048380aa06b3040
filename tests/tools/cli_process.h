#pragma once
// Runs a program as a child process, the way a user or a script runs the
// tool, and collects what it printed and how it exited.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace tarnwick::clitest {

struct ProcessResult {
  int exit_code = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;

  // stderr split into lines, without the newlines.
  std::vector<std::string> ErrLines() const;
};

// What the child has on descriptor 0.
enum class ChildStdin {
  kDevNull,  // end of file at once, as in most CI jobs
  kClosed,   // no descriptor 0 at all
  kPipe,     // a pipe the test writes through WriteStdin
};

// A child left running while the test signals it or writes to it. Its
// output goes to files, not pipes: nothing to drain while it runs, however
// much it prints.
class ChildProcess {
 public:
  // argv[0] is searched on PATH when it has no slash; the arguments are raw bytes.
  ChildProcess(const std::vector<std::string>& argv, ChildStdin stdin_kind);
  // A child still running is killed and reaped.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // True while the child has not exited (it is not reaped by asking).
  bool Running() const;
  void Signal(int signal_number) const;
  void WriteStdin(const std::string& text) const;
  // Waits for the child to exit and collects its output.
  ProcessResult Wait();

 private:
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_name_;
  std::string err_name_;
};

// Runs argv[0] (searched on PATH when it has no slash) with the arguments as
// raw bytes, in this process's environment, stdin at /dev/null.
ProcessResult RunProcess(const std::vector<std::string>& argv);

// Runs the tarnwick built with the tests.
ProcessResult RunCli(const std::vector<std::string>& args);

// Whether sox can be run; the tests that use it as an oracle skip without it
// (scripts/install-deps.sh test installs it).
bool HaveSox();

// The tool started on a new pseudo-terminal, as a user at a console runs it.
struct TerminalChild {
  pid_t pid = -1;  // -1 when it could not be started
  int master = -1;
};

// Starts the tarnwick built with the tests (through the emulator in a cross
// build) with `args` on a new pty, with `environment` ("NAME=value") added
// to this process's.
TerminalChild StartCliOnTerminal(const std::vector<std::string>& args,
                                 const std::vector<std::string>& environment = {});

// Waits for the child to exit, closes the master side and returns the wait
// status.
int WaitTerminalChild(const TerminalChild& child);

// Everything a child wrote to its terminal (the master side of a pty) until
// it closed it; `seen`, if given, is shown the text so far after every read.
std::string DrainTerminal(int master, const std::function<void(const std::string&)>& seen = {});

}  // namespace tarnwick::clitest
