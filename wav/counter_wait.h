#pragma once
// Waiting for a counter that another thread moves on. Counters only grow (and
// wrap), so a waiter that read a value before looking at what the counter
// guards never misses a change made after that read.

#include <atomic>
#include <cstdint>
#include <thread>

namespace tarnwick {

// Returns once `counter` holds a value other than `seen`, with what the
// thread that moved it did before (acquire).
inline void WaitForChange(const std::atomic<std::uint32_t>& counter, std::uint32_t seen) {
#if defined(__cpp_lib_atomic_wait)
  counter.wait(seen, std::memory_order_acquire);
#else
  // A standard library without waiting on atomics (MinGW's win32 thread
  // model): poll, giving the processor away between looks.
  while (counter.load(std::memory_order_acquire) == seen) std::this_thread::yield();
#endif
}

// Moves `counter` on, publishing what this thread did before (release), and
// wakes its waiters.
inline void MoveOn(std::atomic<std::uint32_t>& counter) {
  counter.fetch_add(1, std::memory_order_release);
#if defined(__cpp_lib_atomic_wait)
  counter.notify_all();
#endif
}

}  // namespace tarnwick
