#include "path_argument.h"

#include "console.h"
#include "utf16_args.h"

namespace tarnwick::cli {

bool PathArgumentToUtf16(std::string_view what, std::string_view path, std::u16string* utf16) {
  Utf8Error error;
  if (Utf8ToUtf16(path, utf16, &error)) return true;
  PrintError("the " + std::string(what) + " path '" + QuoteBytes(path) + "' is not valid UTF-8 (at byte " +
             std::to_string(error.offset) + "); paths are taken as UTF-8");
  return false;
}

}  // namespace tarnwick::cli
