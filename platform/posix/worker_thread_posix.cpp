// POSIX threads for the library's workers.

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstring>

#include "worker_thread.h"

namespace tarnwick {
namespace {

static_assert(sizeof(pthread_t) <= sizeof(std::uintptr_t), "a pthread_t must fit a worker's handle");

void* Run(void* argument) {
  auto* worker = static_cast<WorkerThread*>(argument);
  worker->body(worker->context);
  return nullptr;
}

bool Start(WorkerThread* worker) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  // Some systems want more than 64 KiB for any thread.
  const std::size_t stack = std::max<std::size_t>(kWorkerStackBytes, static_cast<std::size_t>(PTHREAD_STACK_MIN));
  // The new thread inherits the mask in force while it is made.
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_t thread{};
  bool made = pthread_attr_setstacksize(&attr, stack) == 0 && pthread_sigmask(SIG_SETMASK, &all, &before) == 0;
  if (made) {
    made = pthread_create(&thread, &attr, Run, worker) == 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
  pthread_attr_destroy(&attr);
  if (made) {
    worker->handle = 0;
    std::memcpy(&worker->handle, &thread, sizeof thread);
  }
  return made;
}

void Join(WorkerThread* worker) {
  pthread_t thread{};
  std::memcpy(&thread, &worker->handle, sizeof thread);
  pthread_join(thread, nullptr);
}

constexpr ThreadOps kNative = {Start, Join};

}  // namespace

const ThreadOps& NativeThreadOps() { return kNative; }

}  // namespace tarnwick
