// POSIX files: descriptors, positioned I/O, errno handled here and nowhere else.
// Every call that a signal can interrupt is retried; every other failure is
// reported, and a doubt about which file is which counts as the same file.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_ops.h"
#include "system_calls_posix.h"

// Offsets past 2 GiB and 4 GiB must reach the OS whole: on a 32-bit target the
// build defines _FILE_OFFSET_BITS=64 (see the top-level CMakeLists.txt).
static_assert(sizeof(off_t) == 8, "off_t must be 64 bits: build with _FILE_OFFSET_BITS=64");

namespace tarnwick {
namespace {

const posix::SystemCalls& Os() { return posix::FileSystemCalls(); }

int Fd(FileHandle file) { return static_cast<int>(file); }

// Repeats `call` while it fails with EINTR; returns its last result.
template <typename Call>
auto Retried(Call call) {
  auto result = call();
  while (result < 0 && errno == EINTR) result = call();
  return result;
}

bool Stat(int fd, struct stat* st) {
  return Retried([&] { return Os().fstat(fd, st); }) == 0;
}

bool OpenRead(const char* name, FileHandle* file) {
  const int fd = Retried([&] { return Os().open(name, O_RDONLY | O_CLOEXEC, 0); });
  *file = fd < 0 ? kNoFile : fd;
  return fd >= 0;
}

// Different only when both identities are known and differ: a file whose
// identity cannot be read may be the other one, and emptying it then would
// empty the input.
bool KnownToDiffer(int a, int b) {
  struct stat sa {};
  struct stat sb {};
  if (!Stat(a, &sa) || !Stat(b, &sb)) return false;
  return sa.st_dev != sb.st_dev || sa.st_ino != sb.st_ino;
}

bool CutToEmpty(int fd) {
  // Only a file that holds something is cut: cutting an empty one would gain
  // nothing and makes some file systems (ext4) flush the whole file at close.
  struct stat st {};
  if (!Stat(fd, &st)) return false;
  if (!S_ISREG(st.st_mode) || st.st_size == 0) return true;
  return Retried([&] { return Os().ftruncate(fd, 0); }) == 0;
}

CreateResult Create(const char* name, FileHandle keep, FileHandle* file) {
  *file = kNoFile;
  // No O_TRUNC: the file is emptied only once it is known not to be `keep`.
  const int fd = Retried([&] { return Os().open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666); });
  if (fd < 0) return CreateResult::kFailed;
  if (keep != kNoFile && !KnownToDiffer(fd, Fd(keep))) {
    Os().close(fd);
    return CreateResult::kSameFile;
  }
  if (!CutToEmpty(fd)) {
    Os().close(fd);
    return CreateResult::kFailed;
  }
  *file = fd;
  return CreateResult::kCreated;
}

// Repeats `transfer(done)` -- one read, pread, write or pwrite of the bytes
// from `done` on -- until all n bytes have moved, retrying interruptions. A
// transfer of 0 bytes is the end of the file for reads and a failure for
// writes.
template <typename Transfer>
bool MoveAll(std::size_t n, std::size_t* moved, bool zero_is_end, Transfer transfer) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = transfer(done);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || (r == 0 && !zero_is_end)) break;
    if (r == 0) {
      *moved = done;
      return true;
    }
    done += static_cast<std::size_t>(r);
  }
  *moved = done;
  return done == n;
}

bool Read(FileHandle file, void* buffer, std::size_t n, std::size_t* got) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  return MoveAll(n, got, true, [&](std::size_t done) { return Os().read(Fd(file), bytes + done, n - done); });
}

bool ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t n, std::size_t* got) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  return MoveAll(n, got, true, [&](std::size_t done) {
    return Os().pread(Fd(file), bytes + done, n - done, static_cast<off_t>(offset + done));
  });
}

bool Write(FileHandle file, const void* buffer, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t moved = 0;
  return MoveAll(n, &moved, false, [&](std::size_t done) { return Os().write(Fd(file), bytes + done, n - done); });
}

bool WriteAt(FileHandle file, std::uint64_t offset, const void* buffer, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t moved = 0;
  return MoveAll(n, &moved, false, [&](std::size_t done) {
    return Os().pwrite(Fd(file), bytes + done, n - done, static_cast<off_t>(offset + done));
  });
}

bool Size(FileHandle file, std::uint64_t* bytes) {
  struct stat st {};
  if (!Stat(Fd(file), &st)) return false;
  if (S_ISREG(st.st_mode)) {
    *bytes = static_cast<std::uint64_t>(st.st_size);
    return true;
  }
  if (S_ISBLK(st.st_mode)) {
    const off_t end = Os().lseek(Fd(file), 0, SEEK_END);
    if (end < 0) return false;
    *bytes = static_cast<std::uint64_t>(end);
    return true;
  }
  return false;  // pipes, sockets, terminals: no end to seek from
}

bool Truncate(FileHandle file, std::uint64_t bytes) {
  return Retried([&] { return Os().ftruncate(Fd(file), static_cast<off_t>(bytes)); }) == 0;
}

// Room past the end (FALLOC_FL_KEEP_SIZE), so that the size still tells what
// has been written; a file system that cannot (EOPNOTSUPP) just goes without.
bool Reserve(FileHandle file, std::uint64_t bytes) {
  return Retried([&] { return Os().fallocate(Fd(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)); }) == 0;
}

bool Close(FileHandle file) {
  // On Linux the descriptor is released even when close reports EINTR.
  return Os().close(Fd(file)) == 0 || errno == EINTR;
}

// The page cache keeps each written range apart until it is written back,
// whatever the order of the writes.
constexpr FileOps kNative = {OpenRead, Create, Read, ReadAt, Write, WriteAt, Size, Truncate, Reserve, Close, true};

}  // namespace

const FileOps& NativeFileOps() { return kNative; }

}  // namespace tarnwick
