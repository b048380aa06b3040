#pragma once
// A path from the command line, as the library takes it.

#include <string>
#include <string_view>

namespace tarnwick::cli {

// Converts `path` (taken as UTF-8) to UTF-16. When it is not valid UTF-8,
// prints why, naming it as the `what` path ("input", "output"), and returns
// false: the caller exits with a usage error.
bool PathArgumentToUtf16(std::string_view what, std::string_view path, std::u16string* utf16);

}  // namespace tarnwick::cli
