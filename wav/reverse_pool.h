#pragma once
// The reversal's working storage: a few slots in static storage, each enough
// for one call (both names, the block buffers and the output's writer). The
// caller's stack holds only a few hundred bytes, so hosts can call the
// reversal from threads with small stacks, and nothing is allocated.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "path_name.h"
#include "staged_writer.h"

namespace tarnwick {

// The output is written in whole pages of this size wherever it can be.
inline constexpr std::size_t kOutputPageBytes = 4096;

// Bytes read from the input, and written to the output, at a time. Writes
// of 128 KiB and more cost the kernel hardly more per byte than larger
// ones; with three such buffers a call's working storage stays under 0.4 MiB.
inline constexpr std::size_t kReverseBlockBytes = std::size_t{128} * 1024;

// How many reversals run at once; further calls wait for a slot.
inline constexpr std::size_t kReverseSlots = 4;

struct ReverseSlot {
  // Page-aligned, so that the kernel's copies in and out run at full speed.
  // A block is read at its own offset within a page (see wav_reverse.cpp).
  alignas(kOutputPageBytes) std::uint8_t block[kReverseBlockBytes + kOutputPageBytes];
  // The reversed blocks on their way out, behind what is left of the last
  // page written: one is filled while the other is written.
  alignas(kOutputPageBytes) std::uint8_t staging[2][kReverseBlockBytes + kOutputPageBytes];
  char input_name[kNameCapacity];
  char output_name[kNameCapacity];
  StagedWriter writer;
  std::atomic<bool> busy;  // claimed by a call
};

// Claims a free slot without a lock. When every slot is taken, waits until one
// is given back: a call holds one slot, never waits while holding it, and
// always gives it back, so the wait ends.
ReverseSlot& ClaimReverseSlot();

// Gives the slot back and wakes a call waiting for one.
void ReleaseReverseSlot(ReverseSlot& slot);

}  // namespace tarnwick
