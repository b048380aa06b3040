// Windows threads for the library's workers.

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

constexpr ThreadOps kNative = {Start, Join};

}  // namespace

const ThreadOps& NativeThreadOps() { return kNative; }

}  // namespace tarnwick
