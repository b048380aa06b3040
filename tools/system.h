#pragma once
// The little the tool needs from its OS besides loading the library and
// waiting for a stop (library_loader.h, stop_events.h): files by UTF-8 name,
// whether stdout is a terminal, and the program's entry. One implementation
// per OS: posix/system_posix.cpp, win32/system_win32.cpp.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::cli {

// Opens the file named by the UTF-8 `path` for binary reading; null on failure
// with errno set.
std::FILE* OpenFileForReading(const std::string& path);

// The size of `file` when it is a regular file; nothing for pipes, devices and
// directories, or when the OS cannot tell.
std::optional<std::uint64_t> RegularFileSize(std::FILE* file);

// Reads exactly n bytes at `offset` of `file` (64-bit offsets on every OS).
bool ReadExactlyAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t n);

bool StdoutIsTerminal();

// The tool itself, given its arguments (without the program name) as UTF-8;
// the OS's entry point calls it and exits with its result.
int RunTool(const std::vector<std::string_view>& args);

}  // namespace tarnwick::cli
