// Chooses the kernel: the best level the CPU runs, or less when a test asks.

#include "reverse_kernels.h"

#include <atomic>

#include "reverse_kernels_neon.h"
#include "reverse_kernels_portable.h"
#include "reverse_kernels_x86.h"

namespace tarnwick {
namespace {

KernelLevel DetectKernelLevel() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw")) return KernelLevel::kAvx512;
  if (__builtin_cpu_supports("avx2")) return KernelLevel::kAvx2;
  if (__builtin_cpu_supports("ssse3")) return KernelLevel::kSsse3;
  if (__builtin_cpu_supports("sse2")) return KernelLevel::kSse2;
#elif defined(__aarch64__)
  return KernelLevel::kNeon;
#endif
  return KernelLevel::kPortable;
}

std::atomic<KernelLevel> g_limit{kTopKernelLevel};

}  // namespace

KernelLevel BestKernelLevel() {
  static const KernelLevel best = DetectKernelLevel();
  return best;
}

void LimitKernelLevel(KernelLevel level) { g_limit.store(level, std::memory_order_relaxed); }

void ReverseCopyFrames(std::uint8_t* dst, const std::uint8_t* src, std::size_t frames, std::uint32_t frame_bytes) {
#if defined(__x86_64__) || defined(__i386__)
  const KernelLevel limit = g_limit.load(std::memory_order_relaxed);
  const KernelLevel level = limit < BestKernelLevel() ? limit : BestKernelLevel();
  if (level >= KernelLevel::kAvx512 && kernels::ReverseCopyAvx512(dst, src, frames, frame_bytes)) return;
  if (level >= KernelLevel::kAvx2 && kernels::ReverseCopyAvx2(dst, src, frames, frame_bytes)) return;
  if (level >= KernelLevel::kSsse3 && kernels::ReverseCopySsse3(dst, src, frames, frame_bytes)) return;
  if (level >= KernelLevel::kSse2 && kernels::ReverseCopySse2(dst, src, frames, frame_bytes)) return;
#elif defined(__aarch64__)
  if (g_limit.load(std::memory_order_relaxed) >= KernelLevel::kNeon &&
      kernels::ReverseCopyNeon(dst, src, frames, frame_bytes)) {
    return;
  }
#endif
  kernels::ReverseCopyPortable(dst, src, frames, frame_bytes);
}

}  // namespace tarnwick
