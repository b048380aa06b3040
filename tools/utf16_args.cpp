#include "utf16_args.h"

#include <cstdint>

namespace tarnwick::cli {
namespace {

// The length of the well-formed UTF-8 sequence at `at` and its code point, or
// 0 when the bytes there are not one. The ranges for the second byte are what
// exclude overlong forms, surrogates and code points above U+10FFFF.
std::size_t DecodeOne(std::string_view s, std::size_t at, std::uint32_t* code_point) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[at + i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  }
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > s.size()) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  std::uint32_t value = lead & (0xFFu >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i) & 0x3Fu);
  }
  *code_point = value;
  return length;
}

}  // namespace

bool Utf8ToUtf16(std::string_view utf8, std::u16string* utf16, Utf8Error* error) {
  utf16->clear();
  std::size_t at = 0;
  while (at < utf8.size()) {
    std::uint32_t code_point = 0;
    const std::size_t length = DecodeOne(utf8, at, &code_point);
    if (length == 0) {
      utf16->clear();
      error->offset = at;
      return false;
    }
    if (code_point >= 0x10000) {
      code_point -= 0x10000;
      utf16->push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
      utf16->push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
    } else {
      utf16->push_back(static_cast<char16_t>(code_point));
    }
    at += length;
  }
  return true;
}

std::string QuoteBytes(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string quoted;
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::uint32_t code_point = 0;
    const std::size_t length = DecodeOne(bytes, at, &code_point);
    if (length > 1 || (length == 1 && code_point >= 0x20 && code_point < 0x7F)) {
      quoted.append(bytes.substr(at, length));
      at += length;
      continue;
    }
    const auto byte = static_cast<std::uint8_t>(bytes[at]);
    quoted += "\\x";
    quoted += kHex[byte >> 4];
    quoted += kHex[byte & 0xF];
    ++at;
  }
  return quoted;
}

}  // namespace tarnwick::cli
