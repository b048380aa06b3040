// Windows threads for the library's workers, and waiting on counters.

#include <windows.h>

#include "worker_thread.h"

namespace tarnwick {
namespace {

DWORD WINAPI Run(LPVOID argument) {
  auto* worker = static_cast<WorkerThread*>(argument);
  worker->body(worker->context);
  return 0;
}

// Windows delivers no signals to threads: the console's control events run on
// a thread of their own.
bool Start(WorkerThread* worker) {
  const HANDLE thread =
      ::CreateThread(nullptr, kWorkerStackBytes, Run, worker, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  worker->handle = reinterpret_cast<std::uintptr_t>(thread);
  return true;
}

void Join(WorkerThread* worker) {
  const auto thread = reinterpret_cast<HANDLE>(worker->handle);
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
}

// Windows tells how busy its processors are only over time: a processor is
// taken to be free.
bool ProcessorFree() { return true; }

constexpr ThreadOps kNative = {ProcessorFree, Start, Join};

// Every counter's waiters share one lock and one condition. MinGW's
// std::atomic wait is not used: it can miss a wake-up (it checks the value
// outside the lock the notifier never takes) and sleep for ever; and
// WaitOnAddress needs Windows 8.
SRWLOCK g_lock = SRWLOCK_INIT;
CONDITION_VARIABLE g_changed = CONDITION_VARIABLE_INIT;

}  // namespace

const ThreadOps& NativeThreadOps() { return kNative; }

void WaitForChange(const std::atomic<std::uint32_t>& counter, std::uint32_t seen) {
  if (counter.load(std::memory_order_acquire) != seen) return;
  ::AcquireSRWLockExclusive(&g_lock);
  while (counter.load(std::memory_order_acquire) == seen) ::SleepConditionVariableSRW(&g_changed, &g_lock, INFINITE, 0);
  ::ReleaseSRWLockExclusive(&g_lock);
}

// The lock is taken after the change: a waiter has then either not yet looked
// at the counter, or is asleep and is woken.
void MoveOn(std::atomic<std::uint32_t>& counter) {
  counter.fetch_add(1, std::memory_order_release);
  ::AcquireSRWLockExclusive(&g_lock);
  ::ReleaseSRWLockExclusive(&g_lock);
  ::WakeAllConditionVariable(&g_changed);
}

}  // namespace tarnwick
