#include "reverse_pool.h"

#include <thread>

namespace tarnwick {
namespace {

ReverseSlot g_slots[kReverseSlots];

// Counts releases. A call that found every slot taken sleeps until this moves
// on from the value it read before looking, so a release between its look and
// its sleep is never missed.
std::atomic<std::uint32_t> g_releases{0};

}  // namespace

ReverseSlot& ClaimReverseSlot() {
  for (;;) {
    const std::uint32_t seen = g_releases.load(std::memory_order_acquire);
    for (ReverseSlot& slot : g_slots) {
      if (!slot.busy.load(std::memory_order_relaxed) && !slot.busy.exchange(true, std::memory_order_acquire)) {
        return slot;
      }
    }
#if defined(__cpp_lib_atomic_wait)
    g_releases.wait(seen, std::memory_order_acquire);
#else
    // A standard library without waiting on atomics (MinGW's win32 thread
    // model): poll, giving the processor away between looks.
    while (g_releases.load(std::memory_order_acquire) == seen) std::this_thread::yield();
#endif
  }
}

void ReleaseReverseSlot(ReverseSlot& slot) {
  slot.busy.store(false, std::memory_order_release);
  g_releases.fetch_add(1, std::memory_order_release);
#if defined(__cpp_lib_atomic_wait)
  g_releases.notify_all();
#endif
}

}  // namespace tarnwick
