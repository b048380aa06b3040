// Fuzzing the UTF-16 to file-name conversion: it never writes past the room
// it is given; what it accepts decodes back to the very same UTF-16; what it
// refuses leaves an empty name and is really invalid or too long.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "path_name.h"

namespace {

// An independent UTF-8 decoder back to UTF-16; false on malformed input.
bool DecodeUtf8(const char* name, std::vector<char16_t>* units) {
  const auto* s = reinterpret_cast<const unsigned char*>(name);
  while (*s != 0) {
    std::uint32_t cp;
    int extra;
    if (*s < 0x80) {
      cp = *s;
      extra = 0;
    } else if ((*s & 0xE0) == 0xC0) {
      cp = *s & 0x1Fu;
      extra = 1;
    } else if ((*s & 0xF0) == 0xE0) {
      cp = *s & 0x0Fu;
      extra = 2;
    } else if ((*s & 0xF8) == 0xF0) {
      cp = *s & 0x07u;
      extra = 3;
    } else
      return false;
    ++s;
    for (int i = 0; i < extra; ++i, ++s) {
      if ((*s & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (*s & 0x3Fu);
    }
    const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < smallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      units->push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      units->push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      units->push_back(static_cast<char16_t>(cp));
    }
  }
  return true;
}

bool HasUnpairedSurrogate(const std::vector<char16_t>& units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low) {
      return true;
    }
  }
  return false;
}

std::size_t Utf8Length(const std::vector<char16_t>& units) {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u < 0x80)
      bytes += 1;
    else if (u < 0x800)
      bytes += 2;
    else if (u >= 0xD800 && u <= 0xDBFF) {
      bytes += 4;
      ++i;
    } else
      bytes += 3;
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the room for the name, so that "does not fit" is
  // reached at every length.
  const std::size_t capacity = data[0] == 0 ? tarnwick::kNameCapacity : data[0];
  std::vector<char16_t> units;
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;
    units.push_back(unit);
  }
  std::vector<char16_t> path(units);
  path.push_back(0);

  // Exactly `capacity` bytes, so that the sanitizer sees any write past them.
  std::unique_ptr<char[]> name(new char[capacity]);
  const bool ok = tarnwick::PathToName(path.data(), name.get(), capacity);
  if (!ok) {
    if (name[0] != '\0') std::abort();
    if (!HasUnpairedSurrogate(units) && Utf8Length(units) + 1 <= capacity) std::abort();
    return 0;
  }
  std::vector<char16_t> decoded;
  if (std::strlen(name.get()) + 1 > capacity || !DecodeUtf8(name.get(), &decoded) || decoded != units) std::abort();
  return 0;
}
