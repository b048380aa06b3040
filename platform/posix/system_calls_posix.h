#pragma once
// The system calls behind the POSIX file operations, as one table.
//
// The file operations call the OS only through this table, so that a test can
// make any one call fail the way a network or FUSE file system can (an fstat
// that reports EIO, a truncation interrupted by a signal) and check that no
// such failure is mistaken for success. The table starts out holding the real
// calls; whoever changes an entry puts it back, and does so while no file
// operation runs on another thread.

#include <sys/stat.h>
#include <sys/types.h>

namespace tarnwick::posix {

struct SystemCalls {
  int (*open)(const char* name, int flags, mode_t mode);
  int (*fstat)(int fd, struct stat* st);
  int (*ftruncate)(int fd, off_t length);
  ssize_t (*read)(int fd, void* buffer, size_t n);
  ssize_t (*pread)(int fd, void* buffer, size_t n, off_t offset);
  ssize_t (*write)(int fd, const void* buffer, size_t n);
  ssize_t (*pwrite)(int fd, const void* buffer, size_t n, off_t offset);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*close)(int fd);
  int (*fallocate)(int fd, int mode, off_t offset, off_t length);
};

// The table in use.
SystemCalls& FileSystemCalls();

// The real calls, to put back what a test replaced.
const SystemCalls& RealSystemCalls();

}  // namespace tarnwick::posix
