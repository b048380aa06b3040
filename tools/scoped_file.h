#pragma once
// A C stream closed when it goes out of scope.

#include <cstdio>
#include <memory>
#include <string>

#include "system.h"

namespace tarnwick::cli {

struct StreamCloser {
  // Only ever reading: a failed close loses nothing.
  void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
using ScopedFile = std::unique_ptr<std::FILE, StreamCloser>;

// `path` is UTF-8, on every OS.
inline ScopedFile OpenForReading(const std::string& path) { return ScopedFile(OpenFileForReading(path)); }

}  // namespace tarnwick::cli
