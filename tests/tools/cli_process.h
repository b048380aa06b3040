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
// raw bytes. `env` entries ("NAME=value") are added to this process's
// environment, replacing variables of the same name.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

// Runs the tarnwick built with the tests.
ProcessResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// Whether sox can be run; tests that use it as an oracle skip without it.
bool HaveSox();

}  // namespace tarnwick::clitest
