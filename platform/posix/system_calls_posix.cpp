// The real system calls behind the POSIX file operations.

#include "system_calls_posix.h"

#include <fcntl.h>
#include <unistd.h>

namespace tarnwick::posix {
namespace {

// open is variadic; the table holds a plain function.
int OpenFile(const char* name, int flags, mode_t mode) { return ::open(name, flags, mode); }

constexpr SystemCalls kReal = {&OpenFile, &::fstat,  &::ftruncate, &::read,  &::pread,
                               &::write,  &::pwrite, &::lseek,     &::close, &::fallocate};
SystemCalls g_in_use = kReal;

}  // namespace

SystemCalls& FileSystemCalls() { return g_in_use; }
const SystemCalls& RealSystemCalls() { return kReal; }

}  // namespace tarnwick::posix
