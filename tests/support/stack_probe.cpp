#include "stack_probe.h"

#include <pthread.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

namespace tarnwick::test {
namespace {

constexpr unsigned char kPaint = 0xA5;

void* RunBody(void* body) {
  (*static_cast<const std::function<void()>*>(body))();
  return nullptr;
}

// The bytes of a painted stack of `bytes` that running `body` touched. The
// stack grows down, so the untouched paint is at its low end.
std::size_t TouchedBytes(std::size_t bytes, const std::function<void()>& body) {
  bytes = std::max(bytes, static_cast<std::size_t>(PTHREAD_STACK_MIN));
  constexpr std::size_t kAlign = 64;
  auto storage = std::make_unique<unsigned char[]>(bytes + kAlign);
  const auto base = (reinterpret_cast<std::uintptr_t>(storage.get()) + kAlign - 1) / kAlign * kAlign;
  auto* stack = storage.get() + (base - reinterpret_cast<std::uintptr_t>(storage.get()));
  std::memset(stack, kPaint, bytes);

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstack(&attributes, stack, bytes);
  pthread_t thread;
  const bool started = pthread_create(&thread, &attributes, &RunBody, const_cast<std::function<void()>*>(&body)) == 0;
  pthread_attr_destroy(&attributes);
  if (!started) return SIZE_MAX;
  pthread_join(thread, nullptr);

  std::size_t untouched = 0;
  while (untouched < bytes && stack[untouched] == kPaint) ++untouched;
  return bytes - untouched;
}

}  // namespace

std::size_t StackBytesUsed(std::size_t stack_bytes, const std::function<void()>& body) {
  const std::size_t baseline = TouchedBytes(stack_bytes, [] {});
  const std::size_t used = TouchedBytes(stack_bytes, body);
  return used > baseline ? used - baseline : 0;
}

bool StackIsInstrumented() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#endif
#endif
  return false;
}

}  // namespace tarnwick::test
