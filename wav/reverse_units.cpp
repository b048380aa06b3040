#include "reverse_units.h"

#include <algorithm>

#include "reverse_kernels.h"
#include "tarnwick.h"
#include "wav_header.h"

namespace tarnwick {
namespace {

// The kernel reads ahead of forward reads only: the backward walk keeps its
// own advice this far below the lowest offset it reads, asking for a chunk
// at a time, the highest first, so that a cold input streams in from disk in
// the order the walk needs it while the units above it are made.
constexpr std::uint64_t kReadAheadBytes = std::uint64_t{8} << 20;
constexpr std::uint64_t kReadAheadChunk = std::uint64_t{1} << 20;

void AdviseBelow(ReverseJob& job, std::uint64_t lowest) {
  std::uint64_t from = job.prefetched_from.load(std::memory_order_relaxed);
  while (from > 0 && from + kReadAheadBytes > lowest) {
    const std::uint64_t next = from > kReadAheadChunk ? from - kReadAheadChunk : 0;
    // Whichever thread moves the mark asks for the chunk; the advice's result
    // changes nothing.
    if (job.prefetched_from.compare_exchange_weak(from, next, std::memory_order_relaxed)) {
      job.task.files->prefetch(job.task.in, next, static_cast<std::size_t>(from - next));
      from = next;
    }
  }
}

// The output range [a, b) of unit j.
std::uint64_t UnitStart(const ReverseJob& job, std::uint64_t j) {
  return std::max<std::uint64_t>(kWavHeaderBytes, j * job.unit_bytes);
}
std::uint64_t UnitEnd(const ReverseJob& job, std::uint64_t j) {
  return std::min(job.task.output_end, (j + 1) * job.unit_bytes);
}

// The first frame that has bytes at or after output offset `at`: frame k is
// output bytes 44 + kF .. 44 + (k + 1)F and input bytes S - (k + 1)F .. S - kF.
std::uint64_t FrameAt(const ReverseJob& job, std::uint64_t at) { return (at - kWavHeaderBytes) / job.task.frame_bytes; }

// Reads the frames that cross unit j, a block at a time from the highest
// input offset down, reverses them into the lane's staging buffer and writes
// the unit's bytes from it.
std::int32_t MakeUnit(ReverseJob& job, const ReverseLane& lane, std::uint64_t j) {
  const ReverseTask& task = job.task;
  const std::uint64_t frame_bytes = task.frame_bytes;
  const std::uint64_t a = UnitStart(job, j);
  const std::uint64_t b = UnitEnd(job, j);
  const std::uint64_t first = FrameAt(job, a);
  const std::uint64_t end = FrameAt(job, b - 1) + 1;
  AdviseBelow(job, task.input_bytes - end * frame_bytes);
  const std::uint64_t per_block = job.block_bytes / frame_bytes;
  for (std::uint64_t k = first; k < end;) {
    const std::uint64_t frames = std::min(per_block, end - k);
    const auto bytes = static_cast<std::size_t>(frames * frame_bytes);
    std::size_t got = 0;
    // A read error, or the input shrank underneath.
    if (!task.files->read_at(task.in, task.input_bytes - (k + frames) * frame_bytes, lane.block, bytes, &got) ||
        got != bytes) {
      return TARNWICK_REVERSE_INPUT_FAILED;
    }
    ReverseCopyFrames(lane.staging + (k - first) * frame_bytes, lane.block, static_cast<std::size_t>(frames),
                      task.frame_bytes);
    k += frames;
  }
  const std::uint8_t* const unit = lane.staging + (a - kWavHeaderBytes - first * frame_bytes);
  const auto n = static_cast<std::size_t>(b - a);
  const bool written =
      job.positioned ? task.files->write_at(task.out, a, unit, n) : task.files->write(task.out, unit, n);
  return written ? TARNWICK_DONE : TARNWICK_REVERSE_OUTPUT_FAILED;
}

// One thread's share: claims the next unit and makes it, until there are no
// more, or one has failed below the next.
void MakeUnits(ReverseJob& job, ReverseLane& lane) {
  for (;;) {
    const std::uint64_t j = job.next_unit.fetch_add(1, std::memory_order_relaxed);
    if (j > job.last_unit || j > job.stop_after.load(std::memory_order_relaxed)) return;
    const std::int32_t result = MakeUnit(job, lane, j);
    if (result != TARNWICK_DONE) {
      lane.failed_unit = j;
      lane.failure = result;
      std::uint64_t stop = job.stop_after.load(std::memory_order_relaxed);
      while (j < stop && !job.stop_after.compare_exchange_weak(stop, j, std::memory_order_relaxed)) {
      }
      return;
    }
  }
}

void RunWorker(void* context) {
  auto& job = *static_cast<ReverseJob*>(context);
  MakeUnits(job, job.lanes[1]);
}

}  // namespace

std::uint64_t UnitBytesFor(std::uint32_t frame_bytes, std::size_t staging_bytes) {
  const std::uint64_t cut = 2 * (std::uint64_t{frame_bytes} - 1);
  if (frame_bytes == 0 || staging_bytes <= cut) return 0;
  std::uint64_t unit = kOutputUnitBytes;
  while (unit > staging_bytes - cut) unit /= 2;
  return unit;
}

std::int32_t WriteUnits(ReverseJob& job, const ReverseTask& task, const ReverseBuffers& buffers,
                        std::uint64_t unit_bytes, const ThreadOps& threads) {
  job.task = task;
  job.block_bytes = buffers.block_bytes;
  job.unit_bytes = unit_bytes;
  job.last_unit = (task.output_end - 1) / unit_bytes;
  job.next_unit.store(kWavHeaderBytes / unit_bytes, std::memory_order_relaxed);
  job.stop_after.store(kNoUnit, std::memory_order_relaxed);
  job.prefetched_from.store(task.input_bytes, std::memory_order_relaxed);
  for (int i = 0; i < 2; ++i) job.lanes[i] = {buffers.block[i], buffers.staging[i], kNoUnit, TARNWICK_DONE};

  // Two threads write units out of order, which needs a file with offsets
  // (not a pipe); one thread writes them in order wherever the output is.
  std::uint64_t size = 0;
  job.worker = WorkerThread{RunWorker, &job, 0};
  // Starting the thread publishes everything above to it.
  job.positioned = task.output_end >= buffers.worker_from_bytes && threads.processor_free() &&
                   task.files->size(task.out, &size) && threads.start(&job.worker);
  MakeUnits(job, job.lanes[0]);
  if (job.positioned) threads.join(&job.worker);  // publishes the worker's lane

  const ReverseLane& failed = job.lanes[1].failed_unit < job.lanes[0].failed_unit ? job.lanes[1] : job.lanes[0];
  if (failed.failed_unit == kNoUnit) return TARNWICK_DONE;
  // Whatever came after the failed unit goes, with the room set aside for it;
  // a cut that fails leaves the result a failure all the same.
  task.files->truncate(task.out, kWavHeaderBytes + FrameAt(job, UnitStart(job, failed.failed_unit)) * task.frame_bytes);
  return failed.failure;
}

}  // namespace tarnwick
