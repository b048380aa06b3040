#pragma once
// Reversing the order of the frames of one block, from the block as read into
// a second buffer that is written out: the inner loop of the reversal.
//
// On x86 the fastest kernel the CPU offers is chosen at run time; on AArch64
// the NEON kernels are part of the architecture and always there. Every
// kernel writes exactly the same bytes as a frame-by-frame copy.

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// Kernel families of the target architecture, slowest first. Each includes
// the ones before it.
enum class KernelLevel : std::uint8_t {
  kPortable,  // plain C++: word swaps and fixed-size frame moves
#if defined(__aarch64__)
  kNeon,  // element reversal for frames of 1, 2, 4 and 8 bytes, table lookups for 3 to 32
#else
  kSse2,    // x86 baseline shuffles, for frames of 1, 2, 4 and 8 bytes
  kSsse3,   // byte shuffles, also for frames of 3, 5, 6 and 7 bytes
  kAvx2,    // 32-byte shuffles for frames of 1 to 8 bytes and dword permutes for 12
  kAvx512,  // 64-byte permutes (AVX-512 VBMI) for every frame of up to 32 bytes
#endif
};

// The highest level there is on this architecture.
#if defined(__aarch64__)
inline constexpr KernelLevel kTopKernelLevel = KernelLevel::kNeon;
#else
inline constexpr KernelLevel kTopKernelLevel = KernelLevel::kAvx512;
#endif

// Writes the `frames` frames of `frame_bytes` each that `src` holds into
// `dst` in reverse order: the last frame of `src` first. The bytes inside a
// frame keep their order. The buffers must not overlap.
void ReverseCopyFrames(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes);

// The best level this CPU runs.
KernelLevel BestKernelLevel();

// From now on ReverseCopyFrames uses no level above `level` (nor above the
// best one); kTopKernelLevel lifts the limit. For tests, which run every level on the machine they are on.
void LimitKernelLevel(KernelLevel level);

}  // namespace tarnwick
