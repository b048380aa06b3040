#pragma once
// Runs a program as a child process, the way a user or a script runs the
// tool, and collects what it printed and how it exited.

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

// Runs argv[0] (searched on PATH when it has no slash) with the arguments as
// raw bytes, in this process's environment.
ProcessResult RunProcess(const std::vector<std::string>& argv);

// Runs the tarnwick built with the tests.
ProcessResult RunCli(const std::vector<std::string>& args);

// Whether sox can be run; the tests that use it as an oracle skip without it
// (scripts/install-deps.sh test installs it).
bool HaveSox();

}  // namespace tarnwick::clitest
