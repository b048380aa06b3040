#pragma once
// The reversal done the slow, obvious way: one seek, one read and one write
// per frame through stdio, straight from the description of the operation.
// The library's block reversal must match it byte for byte and result for
// result.

#include <cstdint>
#include <string>

namespace tarnwick::test {

// Largest frame the library accepts; larger ones are refused like 0.
inline constexpr std::int32_t kReferenceMaxFrame = 64 * 1024;

std::int32_t ReferenceReverse(const std::string& input, const std::string& output);

}  // namespace tarnwick::test
