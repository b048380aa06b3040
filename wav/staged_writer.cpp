#include "staged_writer.h"

#include "worker_thread.h"

namespace tarnwick {
namespace {

// The worker: writes each hand-over in turn until one of 0 bytes. After a
// failed write it writes nothing more but still counts hand-overs done, so
// that the caller never waits for it in vain.
void WriteInTurn(void* context) {
  auto& writer = *static_cast<StagedWriter*>(context);
  for (std::uint32_t n = 0;; ++n) {
    WaitForChange(writer.handed, n);
    const std::size_t bytes = writer.bytes[n % 2];
    if (bytes == 0) return;
    if (!writer.failed.load(std::memory_order_relaxed) && !writer.files->write(writer.out, writer.data[n % 2], bytes)) {
      writer.failed.store(true, std::memory_order_relaxed);
    }
    MoveOn(writer.done);
  }
}

// Publishes the entry of the next hand-over to the worker.
void Publish(StagedWriter& writer, const std::uint8_t* data, std::size_t n) {
  // The entry was last read by the worker for the hand-over before the last.
  WaitForTurn(writer);
  const std::uint32_t next = writer.handed.load(std::memory_order_relaxed);
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
  writer.done.store(0, std::memory_order_relaxed);
  writer.failed.store(false, std::memory_order_relaxed);
  writer.worker = WorkerThread{WriteInTurn, &writer, 0};
  // Starting the thread publishes everything above to it.
  writer.threaded = threaded && threads.start(&writer.worker);
}

bool HandOver(StagedWriter& writer, const std::uint8_t* data, std::size_t n) {
  if (n == 0) return !writer.failed.load(std::memory_order_relaxed);
  if (!writer.threaded) {
    if (!writer.failed.load(std::memory_order_relaxed) && !writer.files->write(writer.out, data, n)) {
      writer.failed.store(true, std::memory_order_relaxed);
    }
  } else {
    Publish(writer, data, n);
  }
  return !writer.failed.load(std::memory_order_relaxed);
}

void WaitForTurn(StagedWriter& writer) {
  if (!writer.threaded) return;
  const std::uint32_t handed = writer.handed.load(std::memory_order_relaxed);
  for (std::uint32_t done = writer.done.load(std::memory_order_acquire); handed - done > 1;
       done = writer.done.load(std::memory_order_acquire)) {
    WaitForChange(writer.done, done);
  }
}

bool FinishWriter(StagedWriter& writer) {
  if (writer.threaded) {
    Publish(writer, nullptr, 0);
    writer.threads->join(&writer.worker);
    writer.threaded = false;
  }
  return !writer.failed.load(std::memory_order_relaxed);
}

}  // namespace tarnwick
