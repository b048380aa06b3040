#pragma once
// Running a call on a thread with a small stack, as hosts with small thread
// stacks make it, and measuring how deep into that stack the call reached.

#include <cstddef>
#include <functional>

namespace tarnwick::test {

// A stack of `wanted` bytes, or the smallest the C library makes a thread
// with where that is more (PTHREAD_STACK_MIN is 128 KiB on aarch64).
std::size_t SmallStackBytes(std::size_t wanted);

// Runs `body` on a new thread whose stack is `stack_bytes`, after painting the
// unused part of that stack. Returns false if no such thread could be made;
// otherwise stores in `deepest` the bytes of stack that `body` used below the
// frame that called it (the high-water mark of the paint).
bool RunOnSmallStack(std::size_t stack_bytes, const std::function<void()>& body, std::size_t* deepest);

}  // namespace tarnwick::test
