// UTF-16 paths become UTF-8 names on every system: what Linux file systems and
// tools expect, whatever locale the host process runs in; on Windows the file
// operations turn them back into UTF-16, so no character is lost to a code
// page on the way.

#include <cstdint>

#include "path_name.h"

namespace tarnwick {
namespace {

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Appends the UTF-8 form of `code_point`; false when it does not fit before
// the room kept for the terminating NUL.
bool AppendUtf8(std::uint32_t code_point, char* name, std::size_t capacity, std::size_t* used) {
  unsigned char bytes[4];
  std::size_t n;
  if (code_point < 0x80) {
    bytes[0] = static_cast<unsigned char>(code_point);
    n = 1;
  } else if (code_point < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (code_point >> 6));
    bytes[1] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
    n = 2;
  } else if (code_point < 0x10000) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (code_point >> 12));
    bytes[1] = static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
    n = 3;
  } else {
    bytes[0] = static_cast<unsigned char>(0xF0 | (code_point >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((code_point >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
    n = 4;
  }
  if (*used + n + 1 > capacity) return false;
  for (std::size_t i = 0; i < n; ++i) name[(*used)++] = static_cast<char>(bytes[i]);
  return true;
}

}  // namespace

bool PathToName(const char16_t* path, char* name, std::size_t capacity) {
  if (capacity == 0) return false;
  name[0] = '\0';
  if (path == nullptr) return false;
  std::size_t used = 0;
  for (std::size_t i = 0; path[i] != u'\0'; ++i) {
    std::uint32_t unit = path[i];
    if (IsHighSurrogate(unit) && IsLowSurrogate(path[i + 1])) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<std::uint32_t>(path[i + 1]) - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      name[0] = '\0';
      return false;
    }
    if (!AppendUtf8(unit, name, capacity, &used)) {
      name[0] = '\0';
      return false;
    }
  }
  name[used] = '\0';
  return true;
}

}  // namespace tarnwick
