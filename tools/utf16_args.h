#pragma once
// Command-line arguments arrive as bytes, which Tarnwick reads as UTF-8; the
// library takes UTF-16 paths.

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnwick::cli {

// Where a conversion stopped: the offset of the first byte that is not part
// of well-formed UTF-8.
struct Utf8Error {
  std::size_t offset = 0;
};

// Converts strict UTF-8 (no overlong forms, no encoded surrogates, nothing
// above U+10FFFF) into UTF-16. On failure `utf16` is left empty and `error`
// says where the input went wrong.
bool Utf8ToUtf16(std::string_view utf8, std::u16string* utf16, Utf8Error* error);

// The argument with every byte outside printable ASCII and well-formed UTF-8
// written as \xNN, so that a message about a bad argument can quote it safely.
std::string QuoteBytes(std::string_view bytes);

}  // namespace tarnwick::cli
