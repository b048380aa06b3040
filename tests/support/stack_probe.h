#pragma once
// Running code on a thread with a small stack, as hosts with tight thread
// pools do, and measuring how much of that stack the code used.

#include <cstddef>
#include <functional>

namespace tarnwick::test {

// Runs `body` on a new thread whose whole stack is `stack_bytes` long (at
// least the system's minimum) and returns the bytes of it that `body` used,
// beyond what an empty body uses. A body that needs more than the stack
// crashes the test, as it would crash a host.
std::size_t StackBytesUsed(std::size_t stack_bytes, const std::function<void()>& body);

// True in builds whose instrumentation makes every frame much larger than in
// a release build (AddressSanitizer), where stack bounds do not apply.
bool StackIsInstrumented();

}  // namespace tarnwick::test
