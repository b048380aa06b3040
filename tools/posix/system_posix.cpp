// The tool on POSIX systems: arguments are bytes, taken as UTF-8; names go to
// the file system as they are.

#include <sys/stat.h>
#include <unistd.h>

#include "system.h"

namespace tarnwick::cli {

std::FILE* OpenFileForReading(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

std::optional<std::uint64_t> RegularFileSize(std::FILE* file) {
  struct stat st {};
  if (::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool ReadExactlyAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t n) {
  return ::pread(::fileno(file), buffer, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
}

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace tarnwick::cli

int main(int argc, char** argv) {
  std::vector<std::string_view> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return tarnwick::cli::RunTool(args);
}
