// Tarnwick.dll as a Windows host sees it: loaded with LoadLibraryW, its
// export table exactly ordinals 1, 3 and 4 under plain names (read from the
// loaded image itself), and its version block as GetFileVersionInfoW reads it.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tarnwick.h"
#include "temp_dir.h"
#include "wav_bytes.h"

namespace tarnwick::test {
namespace {

std::wstring LibraryFile() { return FsPath(TARNWICK_LIBRARY_FILE).wstring(); }

class Library {
 public:
  Library() : module_(::LoadLibraryW(LibraryFile().c_str())) {}
  ~Library() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE get() const { return module_; }
  FARPROC ByOrdinal(WORD ordinal) const { return ::GetProcAddress(module_, MAKEINTRESOURCEA(ordinal)); }
  FARPROC ByName(const char* name) const { return ::GetProcAddress(module_, name); }

 private:
  HMODULE module_;
};

// The export directory of the mapped image: ordinal -> name ("" for an
// ordinal without a name, absent for an empty slot).
std::map<DWORD, std::string> ExportTable(HMODULE module) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  const auto* functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  const auto* name_ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  std::map<DWORD, std::string> table;
  for (DWORD i = 0; i < exports->NumberOfFunctions; ++i) {
    if (functions[i] != 0) table[exports->Base + i] = "";
  }
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    table[exports->Base + name_ordinals[i]] = reinterpret_cast<const char*>(base + names[i]);
  }
  return table;
}

TEST(DllHost, ExportTableIsExactlyOrdinalsOneThreeAndFourUnderPlainNames) {
  const Library library;
  ASSERT_NE(library.get(), nullptr) << ::GetLastError();
  const std::map<DWORD, std::string> expected = {
      {1, "WAVReverse"}, {3, "SoundRecorderStart"}, {4, "SoundRecorderStop"}};
  EXPECT_EQ(ExportTable(library.get()), expected);
  for (const auto& [ordinal, name] : expected) {
    EXPECT_NE(library.ByOrdinal(static_cast<WORD>(ordinal)), nullptr) << ordinal;
    EXPECT_EQ(library.ByOrdinal(static_cast<WORD>(ordinal)), library.ByName(name.c_str())) << name;
  }
  EXPECT_EQ(library.ByOrdinal(2), nullptr);
  EXPECT_EQ(library.ByOrdinal(5), nullptr);
  for (const char* decorated : {"_WAVReverse", "WAVReverse@8", "_WAVReverse@8", "SoundRecorderStart@4", "DllMain"}) {
    EXPECT_EQ(library.ByName(decorated), nullptr) << decorated;
  }
}

// FARPROC to the function's own type, through void* as GetProcAddress's
// users must (the function types differ).
template <typename Function>
Function Bind(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

TEST(DllHost, BoundByOrdinalTheFunctionsWork) {
  const Library library;
  ASSERT_NE(library.get(), nullptr);
  const auto reverse = Bind<decltype(&WAVReverse)>(library.ByOrdinal(1));
  const auto start = Bind<decltype(&SoundRecorderStart)>(library.ByOrdinal(3));
  const auto stop = Bind<decltype(&SoundRecorderStop)>(library.ByOrdinal(4));
  ASSERT_TRUE(reverse != nullptr && start != nullptr && stop != nullptr);
  TempDir dir;
  WriteFile(dir.File("in.wav"), MakeWav(1, 8, 8000, {0x61, 0x62, 0x63}));
  EXPECT_EQ(reverse(Utf16(dir.File("in.wav")).c_str(), Utf16(dir.File("out.wav")).c_str()), TARNWICK_DONE);
  EXPECT_EQ(ReadFile(dir.File("out.wav")), MakeWav(1, 8, 8000, {0x63, 0x62, 0x61}));
  EXPECT_EQ(reverse(nullptr, nullptr), TARNWICK_REVERSE_INPUT_FAILED);
  // Recording through ordinals 3 and 4, from a device whose every sample is
  // known, is WinmmRecord's (tests/platform).
  EXPECT_EQ(stop(), 0) << "nothing recorded, nothing to finish";
}

std::wstring StringValue(const std::vector<unsigned char>& block, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (::VerQueryValueW(block.data(), query.c_str(), &value, &length) == 0 || length == 0) return L"<none>";
  return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

TEST(DllHost, VersionBlockSaysOneZeroZeroOneInUsEnglishUnicode) {
  const std::wstring file = LibraryFile();
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
  ASSERT_GT(size, 0u) << ::GetLastError();
  std::vector<unsigned char> block(size);
  ASSERT_TRUE(::GetFileVersionInfoW(file.c_str(), 0, size, block.data()));

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 4u);
  const auto* translation = static_cast<const WORD*>(value);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1200);

  EXPECT_EQ(StringValue(block, L"ProductName"), L"Tarnwick");
  EXPECT_EQ(StringValue(block, L"FileVersion"), L"1.0.0.1");
  EXPECT_EQ(StringValue(block, L"ProductVersion"), L"1.0.0.1");
}

}  // namespace
}  // namespace tarnwick::test
