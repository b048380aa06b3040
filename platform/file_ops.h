#pragma once
// File operations: the only way the library's logic reaches files.
//
// The logic never calls the OS itself. It is handed a FileOps record and calls
// through it, so that tests can wrap the native record to inject faults or
// count calls. Every operation reports failure as false; none throws and none
// prints. errno, GetLastError and their kind are translated here, once.

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// An open file: on POSIX a descriptor, on Windows a HANDLE; kNoFile when
// nothing is open.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class CreateResult : std::uint8_t {
  kCreated,   // opened for writing and emptied
  kFailed,    // could not be created or opened for writing
  kSameFile,  // names the file `keep` already has open; left untouched
};

struct FileOps {
  // Opens an existing file for reading, binary.
  bool (*open_read)(const char* name, FileHandle* file);

  // Creates `name` for binary writing, or empties it if it exists -- unless it
  // is the very file that `keep` has open (through the same path, another
  // path, a hard link or a symbolic link): then it is neither opened nor
  // emptied and kSameFile is returned. Pass kNoFile for `keep` to skip that
  // check. The check and the emptying cannot race: the file is opened first,
  // compared through its handle, and only then emptied.
  CreateResult (*create)(const char* name, FileHandle keep, FileHandle* file);

  // Reads up to n bytes from the current position and advances it. Stops
  // early only at end of file. Works on files that cannot seek (pipes).
  bool (*read)(FileHandle file, void* buffer, std::size_t n, std::size_t* got);

  // Reads up to n bytes at offset without moving the position. Stops early
  // only at end of file. Fails on files that cannot seek.
  bool (*read_at)(FileHandle file, std::uint64_t offset, void* buffer, std::size_t n, std::size_t* got);

  // Writes all n bytes at the current position and advances it, or fails.
  // Works on files that cannot seek. A short write (disk full) fails.
  bool (*write)(FileHandle file, const void* buffer, std::size_t n);

  // Writes all n bytes at offset, or fails. A short write (disk full) fails.
  // Two threads may read and write at offsets in one file at once; where
  // the system's positioned calls move the current position (Windows), it
  // is then unspecified.
  bool (*write_at)(FileHandle file, std::uint64_t offset, const void* buffer, std::size_t n);

  // The size of a file that can seek (a regular file or a block device).
  // Fails for pipes, sockets and terminals.
  bool (*size)(FileHandle file, std::uint64_t* bytes);

  // Cuts the file back (or extends it with zeros) to exactly `bytes`. Also
  // gives back room set aside past the end by `reserve`.
  bool (*truncate)(FileHandle file, std::uint64_t bytes);

  // Sets aside room on disk for the file to grow to `bytes` without changing
  // its size, so that writing up to there does not look for room piece by
  // piece. Advisory: false when the system does not do it, and then nothing
  // has changed. The room stays set aside until the file is cut (`truncate`).
  bool (*reserve)(FileHandle file, std::uint64_t bytes);

  // Closes the file. Always releases the handle; false when the OS reports an
  // error that may have lost written data (for example a delayed write error).
  bool (*close)(FileHandle file);

  // Whether a large file may be written in any order of its parts at no
  // extra cost. False where a write past the part already written has the
  // system fill the gap with zeros first (NTFS's valid data length): there a
  // file is best written from its start.
  bool writes_in_any_order;
};

// The operating system's own files.
const FileOps& NativeFileOps();

}  // namespace tarnwick
