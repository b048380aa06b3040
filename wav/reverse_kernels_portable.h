#pragma once
// The plain C++ kernels, also the tails of the vector kernels. Inline so that
// a vector kernel compiled for its own instruction set can finish with them.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarnwick::kernels {

// Frames of a size fixed at compile time: each copy becomes a few moves.
template <std::size_t F>
inline void ReverseCopyFixed(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames) {
  const std::uint8_t* from = src + frames * F;
  for (std::size_t i = 0; i < frames; ++i) {
    from -= F;
    std::memcpy(dst, from, F);
    dst += F;
  }
}

// Frames of W to 2W bytes: two moves of W bytes each, the second ending at
// the frame's end, cover any size in that band without a call.
template <std::size_t W>
inline void ReverseCopyBanded(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::size_t frame_bytes) {
  const std::uint8_t* from = src + frames * frame_bytes;
  for (std::size_t i = 0; i < frames; ++i) {
    from -= frame_bytes;
    std::memcpy(dst, from, W);
    std::memcpy(dst + frame_bytes - W, from + frame_bytes - W, W);
    dst += frame_bytes;
  }
}

// Reverses the order of the F-byte units of a 64-bit word. Reversing the
// units is its own mirror image, so the host's byte order does not matter.
template <std::size_t F>
inline std::uint64_t ReverseUnitsOfWord(std::uint64_t w) {
  w = (w >> 32) | (w << 32);
  if constexpr (F <= 2) w = ((w >> 16) & 0x0000FFFF0000FFFFu) | ((w & 0x0000FFFF0000FFFFu) << 16);
  if constexpr (F == 1) w = ((w >> 8) & 0x00FF00FF00FF00FFu) | ((w & 0x00FF00FF00FF00FFu) << 8);
  return w;
}

// Frames of 1, 2 or 4 bytes, eight bytes at a time.
template <std::size_t F>
inline void ReverseCopyWords(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames) {
  std::size_t left = frames * F;
  const std::uint8_t* end = src + left;
  for (; left >= 8; left -= 8) {
    end -= 8;
    std::uint64_t w;
    std::memcpy(&w, end, 8);
    w = ReverseUnitsOfWord<F>(w);
    std::memcpy(dst, &w, 8);
    dst += 8;
  }
  ReverseCopyFixed<F>(dst, src, left / F);
}

inline void ReverseCopyPortable(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames,
                                std::uint32_t frame_bytes) {
  switch (frame_bytes) {
    case 1: ReverseCopyWords<1>(dst, src, frames); return;
    case 2: ReverseCopyWords<2>(dst, src, frames); return;
    case 3: ReverseCopyFixed<3>(dst, src, frames); return;
    case 4: ReverseCopyWords<4>(dst, src, frames); return;
    case 6: ReverseCopyFixed<6>(dst, src, frames); return;
    case 8: ReverseCopyFixed<8>(dst, src, frames); return;
    case 16: ReverseCopyFixed<16>(dst, src, frames); return;
    case 24: ReverseCopyFixed<24>(dst, src, frames); return;
    case 32: ReverseCopyFixed<32>(dst, src, frames); return;
    default: break;
  }
  if (frame_bytes <= 8) return ReverseCopyBanded<4>(dst, src, frames, frame_bytes);  // 5 and 7
  if (frame_bytes <= 16) return ReverseCopyBanded<8>(dst, src, frames, frame_bytes);
  if (frame_bytes <= 32) return ReverseCopyBanded<16>(dst, src, frames, frame_bytes);
  if (frame_bytes <= 64) return ReverseCopyBanded<32>(dst, src, frames, frame_bytes);
  // Frames this large pay for a call to the library's copy many times over.
  const std::uint8_t* from = src + frames * frame_bytes;
  for (std::size_t i = 0; i < frames; ++i) {
    from -= frame_bytes;
    std::memcpy(dst, from, frame_bytes);
    dst += frame_bytes;
  }
}

}  // namespace tarnwick::kernels
