// The library as a host sees it: loaded by name at run time, exactly the
// documented names exported, and the exports doing their work.

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "tarnwick.h"
#include "temp_dir.h"
#include "wav_bytes.h"

namespace tarnwick::test {
namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
  // The target's nm: the host's may not read a cross build's library.
  const std::string command = std::string(TARNWICK_NM) + " -D --defined-only '" + library + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::set<std::string> names;
  std::array<char, 512> line{};
  while (pipe && std::fgets(line.data(), line.size(), pipe.get()) != nullptr) {
    std::istringstream fields(line.data());
    std::string address, kind, name;
    if (fields >> address >> kind >> name && kind != "A") names.insert(name.substr(0, name.find('@')));
  }
  return names;
}

TEST(Exports, OnlyTheDocumentedFunctionsAreVisible) {
  EXPECT_EQ(DefinedDynamicSymbols(TARNWICK_LIBRARY_FILE), (std::set<std::string>{EXPORTED_NAMES}));
}

TEST(Exports, HostLoadsTheLibraryByNameAndReverses) {
  void* library = ::dlopen(TARNWICK_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  auto reverse = reinterpret_cast<decltype(&WAVReverse)>(::dlsym(library, "WAVReverse"));
  ASSERT_NE(reverse, nullptr);

  TempDir dir;
  WriteFile(dir.File("in.wav"), MakeWav(1, 8, 8000, {0x61, 0x62, 0x63}));
  EXPECT_EQ(reverse(Utf16(dir.File("in.wav")).c_str(), Utf16(dir.File("out.wav")).c_str()), TARNWICK_DONE);
  EXPECT_EQ(ReadFile(dir.File("out.wav")), MakeWav(1, 8, 8000, {0x63, 0x62, 0x61}));
  EXPECT_EQ(reverse(nullptr, nullptr), TARNWICK_REVERSE_INPUT_FAILED);
  EXPECT_EQ(::dlclose(library), 0);
}

}  // namespace
}  // namespace tarnwick::test
