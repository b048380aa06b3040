#pragma once
// The reversal's working storage: a few slots in static storage, each enough
// for one call (both names, the buffers of its two threads and what they
// share). The caller's stack holds only a few hundred bytes, so hosts can
// call the reversal from threads with small stacks, and nothing is
// allocated.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "path_name.h"
#include "reverse_units.h"

namespace tarnwick {

// Bytes read from the input at a time: at least the largest frame, and
// large enough that the system calls cost little beside the copying.
inline constexpr std::size_t kReverseBlockBytes = std::size_t{64} * 1024;

// How many reversals run at once; further calls wait for a slot.
inline constexpr std::size_t kReverseSlots = 4;

struct ReverseSlot {
  // For each of the call's two threads: a block as read, and a unit on its
  // way out. Page-aligned, so that the kernel's copies run at full speed.
  alignas(4096) std::uint8_t block[2][kReverseBlockBytes];
  alignas(4096) std::uint8_t staging[2][kStagingBytes];
  char input_name[kNameCapacity];
  char output_name[kNameCapacity];
  ReverseJob job;
  std::atomic<bool> busy;  // claimed by a call
};

// Claims a free slot without a lock. When every slot is taken, waits until one
// is given back: a call holds one slot, never waits while holding it, and
// always gives it back, so the wait ends.
ReverseSlot& ClaimReverseSlot();

// Gives the slot back and wakes a call waiting for one.
void ReleaseReverseSlot(ReverseSlot& slot);

}  // namespace tarnwick
