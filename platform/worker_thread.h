#pragma once
// A second thread for part of one call's work: started and joined within that
// call, so that no thread of the library outlives the call that made it; and
// the way threads wait for one another, through counters that only grow.
//
// The logic reaches threads only through a ThreadOps record, as it reaches
// files through FileOps, so that a test can refuse the thread and check that
// the work is then done without it.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tarnwick {

struct WorkerThread {
  void (*body)(void* context);  // what the thread runs, once
  void* context;
  std::uintptr_t handle;  // the OS's, from start to join
};

// The worker's own stack: it runs only short calls into the file operations,
// and the host's stack is never used for it.
inline constexpr std::size_t kWorkerStackBytes = std::size_t{64} * 1024;

struct ThreadOps {
  // Whether a processor is free at this moment to run one more thread: a
  // worker only slows a call down on a machine whose processors are all
  // busy. A guess, cheap and possibly stale.
  bool (*processor_free)();

  // Runs worker->body(worker->context) on a new thread with a stack of
  // kWorkerStackBytes and every signal that can be blocked blocked, so that
  // the host's signal handlers never run on it. False when no thread could be
  // made; the caller then does the work itself.
  bool (*start)(WorkerThread* worker);

  // Waits until the body has returned and releases the thread.
  void (*join)(WorkerThread* worker);
};

// The operating system's own threads.
const ThreadOps& NativeThreadOps();

// Returns once `counter` holds a value other than `seen`, with what the thread
// that moved it did before (acquire). A waiter that read `seen` before looking
// at what the counter guards never misses a change made after that read.
void WaitForChange(const std::atomic<std::uint32_t>& counter, std::uint32_t seen);

// Moves `counter` on by one, publishing what this thread did before
// (release), and wakes every thread waiting for it to change.
void MoveOn(std::atomic<std::uint32_t>& counter);

}  // namespace tarnwick
