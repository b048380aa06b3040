#pragma once
// A progress line for long reversals. The library's call reports nothing until
// it returns, so the tool runs it on a second thread and watches the output
// file grow.

#include <cstdint>
#include <functional>
#include <string>

namespace tarnwick::cli {

// Runs `reverse` and returns its result. While it runs, and once it has run
// for longer than about a second, a line on the terminal says how much of
// `output_path` (`output_path16` as UTF-16) is written, out of about `input_bytes`; the line is cleared
// at the end. When stdout is not a terminal nothing is shown.
std::int32_t ReverseWithProgress(const std::function<std::int32_t()>& reverse, const std::string& output_path,
                                 const std::u16string& output_path16, std::uint64_t input_bytes);

}  // namespace tarnwick::cli
