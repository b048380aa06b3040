// The real system calls behind the POSIX file operations.

#include "system_calls_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tarnwick::posix {
namespace {

// open is variadic; the table holds a plain function.
int OpenFile(const char* name, int flags, mode_t mode) { return ::open(name, flags, mode); }

int Fadvise(int fd, off_t offset, off_t length, int advice) {
  const int error = ::posix_fadvise(fd, offset, length, advice);
  if (error == 0) return 0;
  errno = error;
  return -1;
}

constexpr SystemCalls kReal = {&OpenFile, &::fstat, &::ftruncate, &::read,      &::pread, &::write,
                               &::pwrite, &::lseek, &::close,     &::fallocate, &Fadvise};
SystemCalls g_in_use = kReal;

}  // namespace

SystemCalls& FileSystemCalls() { return g_in_use; }
const SystemCalls& RealSystemCalls() { return kReal; }

}  // namespace tarnwick::posix
