#pragma once
// The reversal's output, made in units: ranges of the output aligned to their
// own size, each made on its own -- the input frames that cross it read
// backwards, reversed into a staging buffer and written -- so that two
// threads can make two units at once with nothing handed from one to the
// other. The bytes each thread moves stay in its own processor's cache, and
// the file system gets whole aligned ranges, which it stores in large pages
// of its cache.
//
// Units are claimed in order. A unit that cannot be made stops the claims
// past it; every unit below it is finished by whoever claimed it, so the
// output is whole up to the failed unit and is cut back to the frames before
// it.

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

inline constexpr std::uint64_t kNoUnit = ~std::uint64_t{0};

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

// One thread's buffers, and the first unit it could not make.
struct ReverseLane {
  std::uint8_t* block;
  std::uint8_t* staging;
  std::uint64_t failed_unit;  // kNoUnit: every unit it claimed was made
  std::int32_t failure;       // the result that unit gives
};

// A call's units, shared by its threads. Lives in static storage (the
// caller's stack stays small); one call uses it at a time.
struct ReverseJob {
  ReverseTask task;
  std::size_t block_bytes;
  std::uint64_t unit_bytes;
  std::uint64_t last_unit;
  bool positioned;  // units written at their offsets, by two threads; else in order, by one
  std::atomic<std::uint64_t> next_unit;
  std::atomic<std::uint64_t> stop_after;       // the lowest unit known to have failed
  std::atomic<std::uint64_t> prefetched_from;  // the lowest input offset asked for ahead
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
// is a file with offsets; it is joined before this returns. Returns
// TARNWICK_DONE, or the result of the first unit that could not be made, with
// the output cut back to the whole frames before that unit.
std::int32_t WriteUnits(ReverseJob& job, const ReverseTask& task, const ReverseBuffers& buffers,
                        std::uint64_t unit_bytes, const ThreadOps& threads);

}  // namespace tarnwick
