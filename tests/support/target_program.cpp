#include "target_program.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <string_view>

namespace tarnwick::test {
namespace {

// e_machine of an ELF file, or 0 for anything else (a script, a missing file).
std::uint32_t ElfMachine(const std::string& path) {
  std::array<char, 20> head{};
  std::ifstream file(path, std::ios::binary);
  constexpr std::string_view kElfMagic = "\177ELF";
  if (!file.read(head.data(), head.size()) || std::string_view(head.data(), 4) != kElfMagic) return 0;
  const bool little_endian = head[5] == 1;
  const auto lo = static_cast<std::uint8_t>(head[little_endian ? 18 : 19]);
  const auto hi = static_cast<std::uint8_t>(head[little_endian ? 19 : 18]);
  return static_cast<std::uint32_t>(lo | hi << 8);
}

// TARNWICK_TEST_EMULATOR: the emulator's command line, its words joined by
// '|'; empty in a native build.
std::vector<std::string> EmulatorCommand() {
  std::vector<std::string> command;
  const std::string_view list = TARNWICK_TEST_EMULATOR;
  for (std::size_t begin = 0; begin < list.size();) {
    const std::size_t end = std::min(list.find('|', begin), list.size());
    if (end > begin) command.emplace_back(list.substr(begin, end - begin));
    begin = end + 1;
  }
  return command;
}

}  // namespace

std::vector<std::string> TargetCommand(const std::vector<std::string>& argv) {
  static const std::vector<std::string> emulator = EmulatorCommand();
  // Under the emulator /proc/self/exe is this test program itself, not the
  // emulator.
  static const std::uint32_t own_machine = ElfMachine("/proc/self/exe");
  if (emulator.empty() || argv.empty() || argv[0].find('/') == std::string::npos ||
      ElfMachine(argv[0]) != own_machine) {
    return argv;
  }
  std::vector<std::string> command = emulator;
  command.insert(command.end(), argv.begin(), argv.end());
  return command;
}

}  // namespace tarnwick::test
