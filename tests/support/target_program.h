#pragma once
// Starting programs built for the target from a test.
//
// A cross build's tests run under the target's emulator (CTest runs them
// through CMAKE_CROSSCOMPILING_EMULATOR), but a program they start is run by
// the host's kernel, which cannot run a foreign machine's code by itself (no
// binfmt registration is assumed). Such a child goes through the emulator
// too; host programs (sox, sh) run as they are.

#include <string>
#include <vector>

namespace tarnwick::test {

// argv as it must be executed: unchanged natively and for host programs;
// with the emulator's command line in front when argv[0] is an ELF file of
// the same machine as this test program in a build that has an emulator.
// argv[0] without a slash (a program searched on PATH) is left unchanged.
std::vector<std::string> TargetCommand(const std::vector<std::string>& argv);

}  // namespace tarnwick::test
