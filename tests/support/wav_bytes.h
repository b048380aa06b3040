#pragma once
// Whole WAV files as bytes, for tests that write their own inputs.

#include <cstdint>

#include "temp_dir.h"

namespace tarnwick::test {

// A canonical 44-byte PCM header for `data`, followed by `data`.
Bytes MakeWav(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate, const Bytes& data);

}  // namespace tarnwick::test
