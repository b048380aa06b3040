// x86 vector kernels. Every function carries its instruction set as a target
// attribute rather than the file a compiler flag, so nothing compiled here can
// leak instructions into code that runs before the CPU has been asked.
//
// Each kernel loads the vector that ends at the end of what is left of the
// source, shuffles the whole frames at its top into reverse order and stores
// the vector at the front of what is left of the destination. Where a frame
// does not divide the vector (3, 5, 6, 7 and 12 bytes) the bytes above the whole frames
// are don't-care: the next store, or the scalar tail, overwrites them.

#include "reverse_kernels_x86.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include "reverse_kernels_portable.h"

#define TARNWICK_TARGET(isa) __attribute__((target(isa)))

namespace tarnwick::kernels {
namespace {

// Byte i of a 16-byte result takes source byte 16 - (i / F + 1) * F + i % F:
// the whole frames at the top of the source, the last first. Bytes past the
// whole frames are zero (0x80 selects zero). Repeated for the second lane of
// a 32-byte shuffle.
struct ShuffleMask {
  alignas(32) std::int8_t bytes[32];
};

template <std::uint32_t F>
constexpr ShuffleMask MakeShuffleMask() {
  ShuffleMask mask{};
  constexpr std::uint32_t kWhole = 16 / F * F;
  for (std::uint32_t i = 0; i < 16; ++i) {
    const auto pick = static_cast<std::int8_t>(i < kWhole ? 16 - (i / F + 1) * F + i % F : 0x80);
    mask.bytes[i] = pick;
    mask.bytes[i + 16] = pick;
  }
  return mask;
}

template <std::uint32_t F>
constexpr ShuffleMask kShuffleMask = MakeShuffleMask<F>();

template <std::uint32_t F>
TARNWICK_TARGET("ssse3")
void ReverseSsse3(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames) {
  constexpr std::size_t kWhole = std::size_t{16} / F * F;
  const __m128i mask = _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffleMask<F>.bytes));
  std::size_t left = frames * F;
  const std::uint8_t* end = src + left;
  for (; left >= 16; left -= kWhole) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_shuffle_epi8(v, mask));
    end -= kWhole;
    dst += kWhole;
  }
  ReverseCopyFixed<F>(dst, src, left / F);
}

// Frames of 1, 2, 4 or 8 bytes in reverse order within a 16-byte vector,
// from the shuffles SSE2 has: dwords, then words, then bytes.
template <std::uint32_t F>
TARNWICK_TARGET("sse2")
__m128i ReverseUnitsSse2(__m128i v) {
  if constexpr (F == 8) return _mm_shuffle_epi32(v, 0x4E);
  v = _mm_shuffle_epi32(v, 0x1B);
  if constexpr (F <= 2) v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
  if constexpr (F == 1) v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
  return v;
}

template <std::uint32_t F>
TARNWICK_TARGET("sse2")
void ReverseSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames) {
  std::size_t left = frames * F;
  const std::uint8_t* end = src + left;
  for (; left >= 16; left -= 16) {
    end -= 16;
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), ReverseUnitsSse2<F>(v));
    dst += 16;
  }
  ReverseCopyFixed<F>(dst, src, left / F);
}

// 32 bytes at a time: the two 16-byte halves are loaded into swapped lanes,
// so that one in-lane shuffle finishes the reversal.
template <std::uint32_t F>
TARNWICK_TARGET("avx2")
void ReverseAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames) {
  const __m256i mask = _mm256_load_si256(reinterpret_cast<const __m256i*>(kShuffleMask<F>.bytes));
  std::size_t left = frames * F;
  const std::uint8_t* end = src + left;
  for (; left >= 32; left -= 32) {
    end -= 32;
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end + 16));
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end));
    const __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(high), low, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_shuffle_epi8(v, mask));
    dst += 32;
  }
  ReverseSsse3<F>(dst, src, left / F);
}

// Frames of 12 bytes are three dwords each: one permute across the lanes moves
// the two whole frames at the top of a 32-byte load.
TARNWICK_TARGET("avx2")
void ReverseAvx2Twelve(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames) {
  const __m256i order = _mm256_setr_epi32(5, 6, 7, 2, 3, 4, 0, 0);
  std::size_t left = frames * 12;
  const std::uint8_t* end = src + left;
  for (; left >= 32; left -= 24) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(end - 32));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_permutevar8x32_epi32(v, order));
    end -= 24;
    dst += 24;
  }
  ReverseCopyFixed<12>(dst, src, left / 12);
}

// Frames of 16 bytes: the two lanes of a 32-byte load swap places.
TARNWICK_TARGET("avx2")
void ReverseAvx2Sixteen(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames) {
  const std::uint8_t* end = src + frames * 16;
  for (; frames >= 2; frames -= 2) {
    end -= 32;
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(end));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_permute4x64_epi64(v, 0x4E));
    dst += 32;
  }
  ReverseCopyFixed<16>(dst, src, frames);
}

// Frames of 17 to 32 bytes, one 32-byte move each: a move's bytes past its
// frame come from the frame above it in the source and land where the next
// frame goes in the destination, which overwrites them. So the top frame,
// with nothing above it, and the bottom one, with nothing after it, are
// copied exactly.
TARNWICK_TARGET("avx2")
void ReverseAvx2Wide(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::size_t frame_bytes) {
  if (frames < 3) return ReverseCopyBanded<16>(dst, src, frames, frame_bytes);
  const std::uint8_t* from = src + (frames - 1) * frame_bytes;
  ReverseCopyBanded<16>(dst, from, 1, frame_bytes);
  dst += frame_bytes;
  for (std::size_t i = 2; i < frames; ++i) {
    from -= frame_bytes;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
    dst += frame_bytes;
  }
  ReverseCopyBanded<16>(dst, src, 1, frame_bytes);
}

// Frames that do not divide 16 bytes (3, 5, 6 and 7): each lane holds the whole
// frames of one 16-byte load, and the two lanes are stored apart, the second
// over the first's don't-care bytes. One shuffle then moves two loads' worth.
template <std::uint32_t F>
TARNWICK_TARGET("avx2")
void ReverseAvx2Split(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames) {
  constexpr std::size_t kWhole = std::size_t{16} / F * F;
  const __m256i mask = _mm256_load_si256(reinterpret_cast<const __m256i*>(kShuffleMask<F>.bytes));
  std::size_t left = frames * F;
  const std::uint8_t* end = src + left;
  for (; left >= kWhole + 16; left -= 2 * kWhole) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - kWhole - 16));
    const __m256i v = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1), mask);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + kWhole), _mm256_extracti128_si256(v, 1));
    end -= 2 * kWhole;
    dst += 2 * kWhole;
  }
  ReverseSsse3<F>(dst, src, left / F);
}

// Any frame of up to 32 bytes: a 64-byte permute reaches every byte of the
// vector, so the whole frames of one load (63 bytes of 3-byte frames, 60 of
// 10-byte ones) move with one instruction. The permute is built for the frame
// size at run time; the tail goes to the level below.
TARNWICK_TARGET("avx512f,avx512bw,avx512vbmi")
void ReverseAvx512(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes) {
  const std::size_t whole = std::size_t{64} / frame_bytes * frame_bytes;
  alignas(64) std::uint8_t picks[64] = {};
  for (std::uint32_t i = 0; i < whole; ++i) {
    picks[i] = static_cast<std::uint8_t>(64 - (i / frame_bytes + 1) * frame_bytes + i % frame_bytes);
  }
  const __m512i permute = _mm512_load_si512(picks);
  std::size_t left = frames * frame_bytes;
  const std::uint8_t* end = src + left;
  for (; left >= 64; left -= whole) {
    const __m512i v = _mm512_loadu_si512(end - 64);
    // The zero-masking form: GCC's plain one warns about its own placeholder.
    _mm512_storeu_si512(dst, _mm512_maskz_permutexvar_epi8(~__mmask64{0}, permute, v));
    end -= whole;
    dst += whole;
  }
  const std::size_t rest = left / frame_bytes;
  if (!ReverseCopyAvx2(dst, src, rest, frame_bytes)) ReverseCopyPortable(dst, src, rest, frame_bytes);
}

}  // namespace

bool ReverseCopySse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes) {
  switch (frame_bytes) {
    case 1: ReverseSse2<1>(dst, src, frames); return true;
    case 2: ReverseSse2<2>(dst, src, frames); return true;
    case 4: ReverseSse2<4>(dst, src, frames); return true;
    case 8: ReverseSse2<8>(dst, src, frames); return true;
    default: return false;
  }
}

bool ReverseCopySsse3(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes) {
  switch (frame_bytes) {
    case 1: ReverseSsse3<1>(dst, src, frames); return true;
    case 2: ReverseSsse3<2>(dst, src, frames); return true;
    case 3: ReverseSsse3<3>(dst, src, frames); return true;
    case 4: ReverseSsse3<4>(dst, src, frames); return true;
    case 5: ReverseSsse3<5>(dst, src, frames); return true;
    case 6: ReverseSsse3<6>(dst, src, frames); return true;
    case 7: ReverseSsse3<7>(dst, src, frames); return true;
    case 8: ReverseSsse3<8>(dst, src, frames); return true;
    default: return false;
  }
}

bool ReverseCopyAvx512(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes) {
  if (frame_bytes > 32) return false;
  ReverseAvx512(dst, src, frames, frame_bytes);
  return true;
}

bool ReverseCopyAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes) {
  switch (frame_bytes) {
    case 1: ReverseAvx2<1>(dst, src, frames); return true;
    case 2: ReverseAvx2<2>(dst, src, frames); return true;
    case 3: ReverseAvx2Split<3>(dst, src, frames); return true;
    case 4: ReverseAvx2<4>(dst, src, frames); return true;
    case 5: ReverseAvx2Split<5>(dst, src, frames); return true;
    case 6: ReverseAvx2Split<6>(dst, src, frames); return true;
    case 7: ReverseAvx2Split<7>(dst, src, frames); return true;
    case 8: ReverseAvx2<8>(dst, src, frames); return true;
    case 12: ReverseAvx2Twelve(dst, src, frames); return true;
    case 16: ReverseAvx2Sixteen(dst, src, frames); return true;
    default:
      if (frame_bytes <= 16 || frame_bytes > 32) return false;
      ReverseAvx2Wide(dst, src, frames, frame_bytes);
      return true;
  }
}

}  // namespace tarnwick::kernels

#endif  // x86
