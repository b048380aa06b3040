#pragma once
// A private directory for one test's files, removed with everything in it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarnwick::test {

class TempDir {
 public:
  TempDir();
  // Under `parent` instead of the system's temporary directory.
  explicit TempDir(const std::string& parent);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

using Bytes = std::vector<std::uint8_t>;

void WriteFile(const std::string& path, const Bytes& bytes);
// The whole file; empty when it does not exist.
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// The UTF-16 form of an ASCII or UTF-8 path, NUL-terminated.
std::u16string Utf16(const std::string& utf8);

// A UTF-8 path as std::filesystem takes it, and back.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

// Descriptors (on Windows: handles) this process has open: a leak shows as a
// difference.
int OpenDescriptorCount();

}  // namespace tarnwick::test
