#pragma once
// Turning the host's UTF-16 paths into names the file system accepts.

#include <cstddef>

namespace tarnwick {

// Room for the longest name a path may become, with its terminating NUL.
inline constexpr std::size_t kNameCapacity = 4096;

// Converts the NUL-terminated UTF-16 `path` into a NUL-terminated file name in
// `name` (capacity bytes). The name is UTF-8 whatever the process locale or
// the system's code page is. Fails -- leaving `name` empty, so that opening it fails -- for a
// null path, an unpaired surrogate, or a name that does not fit.
bool PathToName(const char16_t* path, char* name, std::size_t capacity);

}  // namespace tarnwick
