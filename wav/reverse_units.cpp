#include "reverse_units.h"

#include <algorithm>

#include "reverse_kernels.h"
#include "tarnwick.h"
#include "wav_header.h"

namespace tarnwick {
namespace {

// The output range [UnitStart, UnitEnd) of unit j.
std::uint64_t UnitStart(const ReverseJob& job, std::uint64_t j) {
  return std::max<std::uint64_t>(kWavHeaderBytes, j * job.unit_bytes);
}
std::uint64_t UnitEnd(const ReverseJob& job, std::uint64_t j) {
  return std::min(job.task.output_end, (j + 1) * job.unit_bytes);
}

// The frame with bytes at output offset `at`: frame k is output bytes
// 44 + kF .. 44 + (k + 1)F, and input bytes S - (k + 1)F .. S - kF.
std::uint64_t FrameAt(const ReverseJob& job, std::uint64_t at) { return (at - kWavHeaderBytes) / job.task.frame_bytes; }

// The unit that the nth claim makes.
std::uint64_t ClaimedUnit(const ReverseJob& job, std::uint64_t claim) {
  return job.backwards ? job.first_unit + job.units - 1 - claim : job.first_unit + claim;
}

// Reads the frames that cross unit j, a block at a time from the lowest
// input offset up, reverses them into the lane's staging buffer and writes
// the unit's bytes from it.
std::int32_t MakeUnit(const ReverseJob& job, const ReverseLane& lane, std::uint64_t j) {
  const ReverseTask& task = job.task;
  const std::uint64_t frame_bytes = task.frame_bytes;
  const std::uint64_t a = UnitStart(job, j);
  const std::uint64_t b = UnitEnd(job, j);
  const std::uint64_t first = FrameAt(job, a);
  const std::uint64_t per_block = job.block_bytes / frame_bytes;
  for (std::uint64_t end = FrameAt(job, b - 1) + 1; end > first;) {
    const std::uint64_t frames = std::min(per_block, end - first);
    const std::uint64_t k = end - frames;  // frames k .. end - 1, the lowest input offset first
    const auto bytes = static_cast<std::size_t>(frames * frame_bytes);
    std::size_t got = 0;
    // A read error, or the input shrank underneath.
    if (!task.files->read_at(task.in, task.input_bytes - end * frame_bytes, lane.block, bytes, &got) || got != bytes) {
      return TARNWICK_REVERSE_INPUT_FAILED;
    }
    ReverseCopyFrames(lane.staging + (k - first) * frame_bytes, lane.block, static_cast<std::size_t>(frames),
                      task.frame_bytes);
    end = k;
  }
  const std::uint8_t* const unit = lane.staging + (a - kWavHeaderBytes - first * frame_bytes);
  const auto n = static_cast<std::size_t>(b - a);
  const bool written =
      job.positioned ? task.files->write_at(task.out, a, unit, n) : task.files->write(task.out, unit, n);
  return written ? TARNWICK_DONE : TARNWICK_REVERSE_OUTPUT_FAILED;
}

// One thread's share: claims the next unit and makes it, until there are no
// more, or an earlier claim has failed.
void MakeUnits(ReverseJob& job, ReverseLane& lane) {
  for (;;) {
    const std::uint64_t claim = job.claims.fetch_add(1, std::memory_order_relaxed);
    if (claim >= job.units || claim > job.stop_after.load(std::memory_order_relaxed)) return;
    const std::int32_t result = MakeUnit(job, lane, ClaimedUnit(job, claim));
    if (result != TARNWICK_DONE) {
      lane.failed_claim = claim;
      lane.failure = result;
      std::uint64_t stop = job.stop_after.load(std::memory_order_relaxed);
      while (claim < stop && !job.stop_after.compare_exchange_weak(stop, claim, std::memory_order_relaxed)) {
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
  // Writes at offsets need a file that has them (not a pipe).
  std::uint64_t size = 0;
  const bool positioned = task.files->size(task.out, &size);
  job.task = task;
  job.block_bytes = buffers.block_bytes;
  job.unit_bytes = unit_bytes;
  job.first_unit = kWavHeaderBytes / unit_bytes;
  job.units = (task.output_end - 1) / unit_bytes + 1 - job.first_unit;
  job.positioned = positioned;
  job.backwards = positioned && task.files->writes_in_any_order;
  job.claims.store(0, std::memory_order_relaxed);
  job.stop_after.store(kNoClaim, std::memory_order_relaxed);
  for (int i = 0; i < 2; ++i) job.lanes[i] = {buffers.block[i], buffers.staging[i], kNoClaim, TARNWICK_DONE};
  job.worker = WorkerThread{RunWorker, &job, 0};

  // Starting the thread publishes everything above to it.
  const bool threaded = positioned && task.output_end >= buffers.worker_from_bytes && threads.processor_free() &&
                        threads.start(&job.worker);
  MakeUnits(job, job.lanes[0]);
  if (threaded) threads.join(&job.worker);  // publishes the worker's lane

  const ReverseLane& failed = job.lanes[1].failed_claim < job.lanes[0].failed_claim ? job.lanes[1] : job.lanes[0];
  if (failed.failed_claim == kNoClaim) return TARNWICK_DONE;
  // Made from the first unit up, the output is whole to the failed unit;
  // made from the last down, only the header stands in order. What is past
  // goes, with the room set aside for it; a cut that fails leaves the result
  // a failure all the same.
  const std::uint64_t whole_frames =
      job.backwards ? 0 : FrameAt(job, UnitStart(job, ClaimedUnit(job, failed.failed_claim)));
  task.files->truncate(task.out, kWavHeaderBytes + whole_frames * task.frame_bytes);
  return failed.failure;
}

}  // namespace tarnwick
