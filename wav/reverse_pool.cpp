#include "reverse_pool.h"

#include "worker_thread.h"

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
    WaitForChange(g_releases, seen);
  }
}

void ReleaseReverseSlot(ReverseSlot& slot) {
  slot.busy.store(false, std::memory_order_release);
  MoveOn(g_releases);
}

}  // namespace tarnwick
