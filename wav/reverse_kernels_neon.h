#pragma once
// The AArch64 NEON kernel. It handles the frame sizes it has a vector
// reversal or a table lookup for and returns false for any other, which then
// go to the portable kernels.

#include <cstddef>
#include <cstdint>

namespace tarnwick::kernels {

bool ReverseCopyNeon(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes);

}  // namespace tarnwick::kernels
