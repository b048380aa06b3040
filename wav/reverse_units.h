#pragma once
// The reversal's output, made in units: ranges of the output aligned to their
// own size, each made on its own -- the input frames that cross it read,
// reversed into a staging buffer and written -- so that two threads can
// make two units at once with nothing handed from one to the other. The
// bytes each thread moves stay in its own processor's cache, and the file
// system gets whole aligned ranges, which it keeps in large pages of its
// cache.
//
// Where the output takes writes at offsets in any order, units are made from
// the last one down: the input is then read forwards, which is what the
// system reads ahead of. Elsewhere they are made from the first one up, and
// the output written in order.
//
// Units are claimed one after the other. A unit that cannot be made stops
// the claims after it, and every unit claimed before it is finished by
// whoever claimed it; the output is then cut back to the whole frames that
// stand in order from its start.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "file_ops.h"
#include "worker_thread.h"

namespace tarnwick {

// The output is written in aligned units of this size wherever a frame size
// lets it: the kernel keeps a unit written whole as one large page of its
// cache, which costs it a third less than the same bytes in small pages.
inline constexpr std::size_t kOutputUnitBytes = std::size_t{128} * 1024;

// A staging buffer holds a unit and the parts of the two frames cut by its
// edges; with this much room, units are kOutputUnitBytes for every frame of
// up to 2 KiB, and smaller, down to 4 KiB, for larger frames.
inline constexpr std::size_t kStagingBytes = kOutputUnitBytes + 4096;

inline constexpr std::uint64_t kNoClaim = ~std::uint64_t{0};

// What the frames are, and where they go.
struct ReverseTask {
  const FileOps* files;
  FileHandle in;
  FileHandle out;
  std::uint64_t input_bytes;  // the frames start at input_bytes - F, input_bytes - 2F, ...
  std::uint32_t frame_bytes;  // F
  std::uint64_t output_end;   // the output ends here, after the last frame
};

// Working buffers for one call: a block and a staging buffer for each of the
// two threads that may share it, and from how many bytes of output on a
// worker thread is worth starting.
struct ReverseBuffers {
  std::uint8_t* block[2];    // frames as read, block_bytes each
  std::uint8_t* staging[2];  // a unit's frames in reverse order, staging_bytes each
  std::size_t block_bytes;
  std::size_t staging_bytes;
  std::uint64_t worker_from_bytes;
};

// One thread's buffers, and the first of its claims that it could not make.
struct ReverseLane {
  std::uint8_t* block;
  std::uint8_t* staging;
  std::uint64_t failed_claim;  // kNoClaim: every unit it claimed was made
  std::int32_t failure;        // the result that unit gives
};

// A call's units, shared by its threads. Lives in static storage (the
// caller's stack stays small); one call uses it at a time.
struct ReverseJob {
  ReverseTask task;
  std::size_t block_bytes;
  std::uint64_t unit_bytes;
  std::uint64_t first_unit;
  std::uint64_t units;
  bool positioned;                        // the output takes writes at offsets; else in order at its position
  bool backwards;                         // the last unit is claimed first
  std::atomic<std::uint64_t> claims;      // how many units have been claimed
  std::atomic<std::uint64_t> stop_after;  // the earliest claim known to have failed
  ReverseLane lanes[2];
  WorkerThread worker;
};

// The size of the output's units for frames of F bytes and staging buffers
// of staging_bytes: the largest power of two up to kOutputUnitBytes that
// leaves room for the two cut frames; 0 when not even one byte does.
std::uint64_t UnitBytesFor(std::uint32_t frame_bytes, std::size_t staging_bytes);

// Writes every frame of `task` (at least one) to the output after its header,
// through `job`, with units of `unit_bytes` (from UnitBytesFor) and blocks
// of at least one frame. A worker thread from `threads` shares the work when
// the output is worker_from_bytes or more, a processor is free and the output
// takes writes at offsets; it is joined before this returns. Returns
// TARNWICK_DONE, or the result of the first claimed unit that could not be
// made, with the output cut back to the whole frames that stand in order
// from its start.
std::int32_t WriteUnits(ReverseJob& job, const ReverseTask& task, const ReverseBuffers& buffers,
                        std::uint64_t unit_bytes, const ThreadOps& threads);

}  // namespace tarnwick
