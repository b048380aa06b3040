#pragma once
// The x86 vector kernels. Each handles the frame sizes it has a shuffle for
// and returns false for any other, which then go to the next level down.

#include <cstddef>
#include <cstdint>

namespace tarnwick::kernels {

bool ReverseCopySse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes);
bool ReverseCopySsse3(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes);
bool ReverseCopyAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes);
bool ReverseCopyAvx512(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes);

}  // namespace tarnwick::kernels
