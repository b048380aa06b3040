#pragma once
// UTF-8 and the UTF-16 of the Windows API, for the tool's Windows parts.

#include <string>
#include <string_view>

namespace tarnwick::cli {

// Strict both ways: ill-formed input (an unpaired surrogate, bad UTF-8) gives
// an empty result.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// The system's one-line text for a GetLastError code, as UTF-8.
std::string SystemMessage(unsigned long error);

}  // namespace tarnwick::cli
