// AArch64 NEON kernels. NEON is part of the architecture, so nothing here
// needs a target attribute or a question to the CPU.
//
// Each kernel loads the bytes that end at the end of what is left of the
// source, reverses the whole frames among them and stores them at the front of
// what is left of the destination; fewer bytes than one load go to the
// portable kernels at the end.

#include "reverse_kernels_neon.h"

#if defined(__aarch64__)

#include <arm_neon.h>

#include "reverse_kernels_portable.h"

namespace tarnwick::kernels {
namespace {

// Frames of 1, 2, 4 or 8 bytes in reverse order within a 16-byte vector: the
// units reversed within each 8-byte half, then the halves swapped.
template <std::uint32_t F>
uint8x16_t ReverseUnits(uint8x16_t v) {
  if constexpr (F == 1) v = vrev64q_u8(v);
  if constexpr (F == 2) v = vreinterpretq_u8_u16(vrev64q_u16(vreinterpretq_u16_u8(v)));
  if constexpr (F == 4) v = vreinterpretq_u8_u32(vrev64q_u32(vreinterpretq_u32_u8(v)));
  return vextq_u8(v, v, 8);
}

// 64 bytes a round through four registers, then 16 at a time.
template <std::uint32_t F>
void ReverseUnitsNeon(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames) {
  std::size_t left = frames * F;
  const std::uint8_t* end = src + left;
  for (; left >= 64; left -= 64) {
    end -= 64;
    const uint8x16x4_t v = vld1q_u8_x4(end);
    const uint8x16x4_t r = {
        {ReverseUnits<F>(v.val[3]), ReverseUnits<F>(v.val[2]), ReverseUnits<F>(v.val[1]), ReverseUnits<F>(v.val[0])}};
    vst1q_u8_x4(dst, r);
    dst += 64;
  }
  for (; left >= 16; left -= 16) {
    end -= 16;
    vst1q_u8(dst, ReverseUnits<F>(vld1q_u8(end)));
    dst += 16;
  }
  ReverseCopyFixed<F>(dst, src, left / F);
}

// Byte i of a lookup's result takes byte `bytes` - (i / F + 1) * F + i % F of
// the `bytes` loaded: the whole frames among them, the last first. Bytes past
// the whole frames pick an index out of range, which gives zero; the next
// store, or the tail, overwrites them.
constexpr std::uint8_t Pick(std::uint32_t i, std::uint32_t frame_bytes, std::uint32_t bytes) {
  const std::uint32_t whole = bytes / frame_bytes * frame_bytes;
  return static_cast<std::uint8_t>(i < whole ? bytes - (i / frame_bytes + 1) * frame_bytes + i % frame_bytes : 0xFF);
}

struct Picks48 {
  alignas(16) std::uint8_t bytes[48];
};

template <std::uint32_t F>
constexpr Picks48 MakePicks48() {
  Picks48 picks{};
  for (std::uint32_t i = 0; i < 48; ++i) picks.bytes[i] = Pick(i, F, 48);
  return picks;
}

template <std::uint32_t F>
constexpr Picks48 kPicks48 = MakePicks48<F>();

// Frames of 3, 6 and 12 bytes: 48 bytes hold a whole number of them, and
// three lookups over the three loaded registers reverse them, every byte
// stored a frame's.
template <std::uint32_t F>
void ReverseTable48(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames) {
  static_assert(48 % F == 0);
  const uint8x16x3_t picks = vld1q_u8_x3(kPicks48<F>.bytes);
  std::size_t left = frames * F;
  const std::uint8_t* end = src + left;
  for (; left >= 48; left -= 48) {
    end -= 48;
    const uint8x16x3_t v = vld1q_u8_x3(end);
    const uint8x16x3_t r = {{vqtbl3q_u8(v, picks.val[0]), vqtbl3q_u8(v, picks.val[1]), vqtbl3q_u8(v, picks.val[2])}};
    vst1q_u8_x3(dst, r);
    dst += 48;
  }
  ReverseCopyFixed<F>(dst, src, left / F);
}

// Any other frame of up to 32 bytes: four lookups over 64 loaded bytes reach
// every byte of them, so the whole frames of one load (60 bytes of 5-byte
// frames, 64 of 16-byte ones) move in one round. The picks are made for the
// frame size at run time.
void ReverseTable64(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes) {
  const std::size_t whole = std::size_t{64} / frame_bytes * frame_bytes;
  alignas(16) std::uint8_t bytes[64];
  for (std::uint32_t i = 0; i < 64; ++i) bytes[i] = Pick(i, frame_bytes, 64);
  const uint8x16x4_t picks = vld1q_u8_x4(bytes);
  std::size_t left = frames * frame_bytes;
  const std::uint8_t* end = src + left;
  for (; left >= 64; left -= whole) {
    const uint8x16x4_t v = vld1q_u8_x4(end - 64);
    vst1q_u8(dst, vqtbl4q_u8(v, picks.val[0]));
    vst1q_u8(dst + 16, vqtbl4q_u8(v, picks.val[1]));
    vst1q_u8(dst + 32, vqtbl4q_u8(v, picks.val[2]));
    vst1q_u8(dst + 48, vqtbl4q_u8(v, picks.val[3]));
    end -= whole;
    dst += whole;
  }
  ReverseCopyPortable(dst, src, left / frame_bytes, frame_bytes);
}

}  // namespace

bool ReverseCopyNeon(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes) {
  switch (frame_bytes) {
    case 1: ReverseUnitsNeon<1>(dst, src, frames); return true;
    case 2: ReverseUnitsNeon<2>(dst, src, frames); return true;
    case 3: ReverseTable48<3>(dst, src, frames); return true;
    case 4: ReverseUnitsNeon<4>(dst, src, frames); return true;
    case 6: ReverseTable48<6>(dst, src, frames); return true;
    case 8: ReverseUnitsNeon<8>(dst, src, frames); return true;
    case 12: ReverseTable48<12>(dst, src, frames); return true;
    default: break;
  }
  if (frame_bytes > 32) return false;
  ReverseTable64(dst, src, frames, frame_bytes);
  return true;
}

}  // namespace tarnwick::kernels

#endif  // __aarch64__
