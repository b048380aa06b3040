// POSIX threads for the library's workers, and waiting on counters.

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
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

// The kernel's count of threads running or ready to run right now (the fourth
// field of /proc/loadavg, "running/total"), this one included, against the
// processors this process may use. When the count cannot be read, a
// processor is taken to be free.
bool ProcessorFree() {
  const int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  char text[128];
  const ssize_t got = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (got <= 0) return true;
  text[got] = '\0';
  const char* running = std::strchr(text, '/');
  while (running != nullptr && running > text && running[-1] >= '0' && running[-1] <= '9') --running;
  if (running == nullptr) return true;
  const long ready = std::strtol(running, nullptr, 10);
  cpu_set_t usable;
  const int processors = sched_getaffinity(0, sizeof usable, &usable) == 0 ? CPU_COUNT(&usable) : 1;
  return ready - 1 < processors;
}

constexpr ThreadOps kNative = {ProcessorFree, Start, Join};

}  // namespace

const ThreadOps& NativeThreadOps() { return kNative; }

// The two threads of a reversal hand each other a block every few tens of
// microseconds. Waking a sleeping thread costs about as much again (more on a
// virtual machine), so a waiter watches the counter for a while before it
// sleeps on it; the C++ library then waits on the counter's own address (a
// futex on Linux).
void WaitForChange(const std::atomic<std::uint32_t>& counter, std::uint32_t seen) {
  constexpr auto kWatch = std::chrono::microseconds(50);
  const auto until = std::chrono::steady_clock::now() + kWatch;
  do {
    if (counter.load(std::memory_order_acquire) != seen) return;
    // When the other thread shares this processor, it runs now.
    sched_yield();
  } while (std::chrono::steady_clock::now() < until);
  counter.wait(seen, std::memory_order_acquire);
}

void MoveOn(std::atomic<std::uint32_t>& counter) {
  counter.fetch_add(1, std::memory_order_release);
  counter.notify_all();
}

}  // namespace tarnwick
