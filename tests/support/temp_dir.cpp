#include "temp_dir.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace tarnwick::test {

// Paths are UTF-8 in the tests as in the library; std::filesystem takes them
// as such on every system (on Windows the narrow form would be the ANSI code
// page).
std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Path(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

TempDir::TempDir() : TempDir(Utf8Path(std::filesystem::temp_directory_path())) {}

TempDir::TempDir(const std::string& parent) {
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const std::string candidate = parent + "/tarnwick-test-" + std::to_string(random());
    if (std::filesystem::create_directory(FsPath(candidate))) path_ = candidate;
  }
  if (path_.empty()) throw std::runtime_error("cannot make a temporary directory in " + parent);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(FsPath(path_), ignored);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(FsPath(path), ignored);
}

std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? lead : n == 2 ? (lead & 0x1Fu) : n == 3 ? (lead & 0x0Fu) : (lead & 0x07u);
    for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

int OpenDescriptorCount() {
#if defined(_WIN32)
  // Every handle value that names an open handle. Not GetProcessHandleCount:
  // Wine reports 0 for it whatever is open. A test process holds a few dozen
  // handles, numbered from 4 in steps of 4 with the lowest free value reused.
  int count = 0;
  DWORD flags = 0;
  for (std::uintptr_t value = 4; value < (std::uintptr_t{1} << 14); value += 4) {
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0) ++count;
  }
  return count;
#else
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
#endif
}

}  // namespace tarnwick::test
