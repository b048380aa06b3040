#include "staged_writer.h"

namespace tarnwick {
namespace {

// How far `count` is short of `target`; counts only grow, and may wrap.
std::int32_t Short(std::uint32_t target, std::uint32_t count) { return static_cast<std::int32_t>(target - count); }

// Writes hand-over k, which this thread has claimed, once the one before it
// is written.
void WriteClaimed(StagedWriter& writer, std::uint32_t k) {
  for (std::uint32_t done = writer.done.load(std::memory_order_acquire); done != k;
       done = writer.done.load(std::memory_order_acquire)) {
    WaitForChange(writer.done, done);
  }
  if (!writer.failed.load(std::memory_order_relaxed) &&
      !writer.files->write(writer.out, writer.data[k % 2], writer.bytes[k % 2])) {
    writer.failed.store(true, std::memory_order_relaxed);
  }
  MoveOn(writer.done);
}

// The worker: claims and writes each hand-over nobody has taken, until the
// one of 0 bytes.
void WriteInTurn(void* context) {
  auto& writer = *static_cast<StagedWriter*>(context);
  for (;;) {
    const std::uint32_t handed = writer.handed.load(std::memory_order_acquire);
    std::uint32_t k = writer.claimed.load(std::memory_order_relaxed);
    if (k == handed) {
      WaitForChange(writer.handed, handed);
    } else if (writer.claimed.compare_exchange_strong(k, k + 1, std::memory_order_acquire)) {
      if (writer.bytes[k % 2] == 0) return;
      WriteClaimed(writer, k);
    }
  }
}

// Returns once the hand-overs before the `upto`th are written, writing those
// the worker has not claimed on this thread.
void Settle(StagedWriter& writer, std::uint32_t upto) {
  for (;;) {
    const std::uint32_t done = writer.done.load(std::memory_order_acquire);
    if (Short(upto, done) <= 0) return;
    std::uint32_t k = writer.claimed.load(std::memory_order_relaxed);
    if (Short(upto, k) > 0 && writer.claimed.compare_exchange_strong(k, k + 1, std::memory_order_relaxed)) {
      WriteClaimed(writer, k);
    } else if (Short(upto, k) <= 0) {
      WaitForChange(writer.done, done);  // the worker is writing
    }
  }
}

// Publishes the next hand-over to the worker. Its entry last held the
// hand-over before the last, which is written by now.
void Publish(StagedWriter& writer, const std::uint8_t* data, std::size_t n) {
  const std::uint32_t next = writer.handed.load(std::memory_order_relaxed);
  Settle(writer, next - 1);
  writer.data[next % 2] = data;
  writer.bytes[next % 2] = n;
  MoveOn(writer.handed);
}

}  // namespace

void StartWriter(StagedWriter& writer, const FileOps& files, FileHandle out, const ThreadOps& threads, bool threaded) {
  writer.files = &files;
  writer.out = out;
  writer.threads = &threads;
  writer.handed.store(0, std::memory_order_relaxed);
  writer.claimed.store(0, std::memory_order_relaxed);
  writer.done.store(0, std::memory_order_relaxed);
  writer.failed.store(false, std::memory_order_relaxed);
  writer.worker = WorkerThread{WriteInTurn, &writer, 0};
  // Starting the thread publishes everything above to it.
  writer.threaded = threaded && threads.processor_free() && threads.start(&writer.worker);
}

bool HandOver(StagedWriter& writer, const std::uint8_t* data, std::size_t n) {
  if (n > 0 && !writer.threaded) {
    if (!writer.failed.load(std::memory_order_relaxed) && !writer.files->write(writer.out, data, n)) {
      writer.failed.store(true, std::memory_order_relaxed);
    }
  } else if (n > 0) {
    Publish(writer, data, n);
  }
  return !writer.failed.load(std::memory_order_relaxed);
}

void WaitForTurn(StagedWriter& writer) {
  if (writer.threaded) Settle(writer, writer.handed.load(std::memory_order_relaxed) - 1);
}

bool FinishWriter(StagedWriter& writer) {
  if (writer.threaded) {
    Settle(writer, writer.handed.load(std::memory_order_relaxed));
    Publish(writer, nullptr, 0);
    writer.threads->join(&writer.worker);
    writer.threaded = false;
  }
  return !writer.failed.load(std::memory_order_relaxed);
}

}  // namespace tarnwick
