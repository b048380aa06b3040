#include "small_stack.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

#include <cstdint>

namespace tarnwick::test {
namespace {

struct StackJob {
  const std::function<void()>* body;
  std::size_t deepest = 0;
};

#if defined(_WIN32)

// Windows' threads cannot tell where their stack begins: the body runs on
// the small stack, unmeasured.
DWORD WINAPI RunOnThisStack(void* argument) {
  auto& job = *static_cast<StackJob*>(argument);
  (*job.body)();
  return 0;
}

#else

constexpr std::uint8_t kPaint = 0xA5;

// Paints the unused stack below this frame, runs the body, and finds the
// lowest byte it changed. Not instrumented: the painted stack is nobody's
// object, and a sanitizer's leftover markings there mean nothing.
__attribute__((noinline, no_sanitize("address", "thread"))) void PaintRunMeasure(StackJob& job, std::uint8_t* low) {
  auto* const here = static_cast<std::uint8_t*>(__builtin_frame_address(0));
  // Room for this frame's own calls, which the painting must not overwrite.
  std::uint8_t* const top = here - 512;
  for (volatile std::uint8_t* p = low; p < top; ++p) *p = kPaint;
  (*job.body)();
  const std::uint8_t* lowest = low;
  while (lowest < top && *lowest == kPaint) ++lowest;
  job.deepest = static_cast<std::size_t>(here - lowest);
}

void* RunOnThisStack(void* argument) {
  auto& job = *static_cast<StackJob*>(argument);
  pthread_attr_t attr;
  void* low = nullptr;
  std::size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
  }
  if (low != nullptr) PaintRunMeasure(job, static_cast<std::uint8_t*>(low));
  return nullptr;
}

#endif

}  // namespace

#if defined(_WIN32)

std::size_t SmallStackBytes(std::size_t wanted) { return wanted; }

bool RunOnSmallStack(std::size_t stack_bytes, const std::function<void()>& body, std::size_t* deepest) {
  StackJob job{&body};
  HANDLE thread = CreateThread(nullptr, stack_bytes, RunOnThisStack, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  *deepest = job.deepest;
  return true;
}

#else

std::size_t SmallStackBytes(std::size_t wanted) {
  const auto least = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  return wanted > least ? wanted : least;
}

bool RunOnSmallStack(std::size_t stack_bytes, const std::function<void()>& body, std::size_t* deepest) {
  StackJob job{&body};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_t thread;
  const bool made =
      pthread_attr_setstacksize(&attr, stack_bytes) == 0 && pthread_create(&thread, &attr, RunOnThisStack, &job) == 0;
  pthread_attr_destroy(&attr);
  if (made) pthread_join(thread, nullptr);
  *deepest = job.deepest;
  return made;
}

#endif

}  // namespace tarnwick::test
