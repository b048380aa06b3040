// Windows files: the wide-character Win32 API, handles, positioned I/O through
// OVERLAPPED offsets; GetLastError is consulted here and nowhere else.
//
// Names arrive as UTF-8 (see path_name.h) and go back to UTF-16 unchanged,
// never through a code page. Every name is made absolute (GetFullPathNameW,
// which also turns '/' into '\' and resolves "." and "..") and given the
// \\?\ prefix, so that names longer than MAX_PATH work without the long-path
// manifest or a registry setting.

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "file_ops.h"

namespace tarnwick {
namespace {

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

// Windows handles are never -1 for an open file (that is INVALID_HANDLE_VALUE),
// so kNoFile keeps its meaning.
static_assert(kNoFile == -1);

// The \\?\ form of the UTF-8 `name`, or null when the name is not well-formed
// UTF-8 or cannot be made absolute. On the heap: a long path would take more
// of the caller's stack than the exports may use.
std::unique_ptr<wchar_t[]> LongPath(const char* name) {
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, nullptr, 0);
  if (units <= 1) return nullptr;  // invalid, or the empty name
  std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<std::size_t>(units)]);
  if (!wide || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide.get(), units) != units) {
    return nullptr;
  }
  // Already in the system's own namespace: taken as it is.
  if (std::wcsncmp(wide.get(), L"\\\\?\\", 4) == 0) return wide;
  const DWORD needed = ::GetFullPathNameW(wide.get(), 0, nullptr, nullptr);
  if (needed == 0) return nullptr;
  constexpr std::size_t kPrefix = 8;  // the longer prefix, \\?\UNC\ .
  std::unique_ptr<wchar_t[]> full(new (std::nothrow) wchar_t[needed + kPrefix]);
  if (!full) return nullptr;
  wchar_t* body = full.get() + kPrefix;
  const DWORD length = ::GetFullPathNameW(wide.get(), needed, body, nullptr);
  if (length == 0 || length >= needed) return nullptr;
  if (std::wcsncmp(body, L"\\\\.\\", 4) == 0) return wide;  // a device, \\.\NUL and the like
  if (std::wcsncmp(body, L"\\\\", 2) == 0) {
    // \\server\share\x becomes \\?\UNC\server\share\x: the prefix takes the
    // place of the two leading backslashes.
    std::memcpy(full.get() + 2, L"\\\\?\\UNC", 7 * sizeof(wchar_t));
    std::memmove(full.get(), full.get() + 2, (length + kPrefix - 2 + 1) * sizeof(wchar_t));
    return full;
  }
  std::memcpy(full.get() + kPrefix - 4, L"\\\\?\\", 4 * sizeof(wchar_t));
  std::memmove(full.get(), full.get() + kPrefix - 4, (length + 4 + 1) * sizeof(wchar_t));
  return full;
}

bool OpenRead(const char* name, FileHandle* file) {
  *file = kNoFile;
  const auto path = LongPath(name);
  if (!path) return false;
  // Shared in every way: reading a file must not stop anyone else, nor a
  // later create of the same file from reaching the identity check.
  *file = FromHandle(::CreateFileW(path.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return *file != kNoFile;
}

// Same file when volume and file index agree. When either cannot be read the
// answer is "same": emptying the input would lose data, refusing loses nothing.
bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION ia{};
  BY_HANDLE_FILE_INFORMATION ib{};
  if (::GetFileInformationByHandle(a, &ia) == 0 || ::GetFileInformationByHandle(b, &ib) == 0) return true;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

bool IsDisk(HANDLE handle) { return ::GetFileType(handle) == FILE_TYPE_DISK; }

bool Truncate(FileHandle file, std::uint64_t bytes);

CreateResult Create(const char* name, FileHandle keep, FileHandle* file) {
  *file = kNoFile;
  const auto path = LongPath(name);
  if (!path) return CreateResult::kFailed;
  // OPEN_ALWAYS, not CREATE_ALWAYS: the file is emptied only once it is known
  // not to be `keep`. Readers may share it, so a host can follow a recording.
  const HANDLE handle = ::CreateFileW(path.get(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return CreateResult::kFailed;
  if (keep != kNoFile && SameFile(handle, Handle(keep))) {
    ::CloseHandle(handle);
    return CreateResult::kSameFile;
  }
  LARGE_INTEGER size{};
  if (IsDisk(handle) &&
      (::GetFileSizeEx(handle, &size) == 0 || (size.QuadPart > 0 && !Truncate(FromHandle(handle), 0)))) {
    ::CloseHandle(handle);
    return CreateResult::kFailed;
  }
  *file = FromHandle(handle);
  return CreateResult::kCreated;
}

// ReadFile and WriteFile move at most a DWORD at a time.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

DWORD Chunk(std::size_t left) { return static_cast<DWORD>(left < kMaxChunk ? left : kMaxChunk); }

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// Reads until n bytes have come or the file ends; `offset` null reads at the
// current position. End of file is a read of 0 bytes, or ERROR_HANDLE_EOF for
// an offset read past the end, or ERROR_BROKEN_PIPE once a pipe's writer left.
bool ReadAll(HANDLE handle, const std::uint64_t* offset, void* buffer, std::size_t n, std::size_t* got) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    DWORD moved = 0;
    OVERLAPPED at = At(offset != nullptr ? *offset + done : 0);
    if (::ReadFile(handle, bytes + done, Chunk(n - done), &moved, offset != nullptr ? &at : nullptr) == 0) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) break;
      *got = done;
      return false;
    }
    if (moved == 0) break;
    done += moved;
  }
  *got = done;
  return true;
}

// Writes all n bytes or fails; a write that moves nothing (a full disk) fails.
bool WriteAll(HANDLE handle, const std::uint64_t* offset, const void* buffer, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    DWORD moved = 0;
    OVERLAPPED at = At(offset != nullptr ? *offset + done : 0);
    if (::WriteFile(handle, bytes + done, Chunk(n - done), &moved, offset != nullptr ? &at : nullptr) == 0 ||
        moved == 0) {
      return false;
    }
    done += moved;
  }
  return true;
}

// On a synchronous handle an OVERLAPPED offset moves the file pointer too;
// the positioned operations put it back, so that reads and writes at the
// current position go on where they were.
class KeepPosition {
 public:
  explicit KeepPosition(HANDLE handle) : handle_(handle) {
    ok_ = ::SetFilePointerEx(handle_, LARGE_INTEGER{}, &position_, FILE_CURRENT) != 0;
  }
  ~KeepPosition() {
    if (ok_) ::SetFilePointerEx(handle_, position_, nullptr, FILE_BEGIN);
  }
  KeepPosition(const KeepPosition&) = delete;
  KeepPosition& operator=(const KeepPosition&) = delete;
  bool ok() const { return ok_; }

 private:
  HANDLE handle_;
  LARGE_INTEGER position_{};
  bool ok_ = false;
};

bool Read(FileHandle file, void* buffer, std::size_t n, std::size_t* got) {
  return ReadAll(Handle(file), nullptr, buffer, n, got);
}

bool ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t n, std::size_t* got) {
  *got = 0;
  if (!IsDisk(Handle(file))) return false;
  const KeepPosition keep(Handle(file));
  return keep.ok() && ReadAll(Handle(file), &offset, buffer, n, got);
}

bool Write(FileHandle file, const void* buffer, std::size_t n) { return WriteAll(Handle(file), nullptr, buffer, n); }

bool WriteAt(FileHandle file, std::uint64_t offset, const void* buffer, std::size_t n) {
  if (!IsDisk(Handle(file))) return false;
  const KeepPosition keep(Handle(file));
  return keep.ok() && WriteAll(Handle(file), &offset, buffer, n);
}

bool Size(FileHandle file, std::uint64_t* bytes) {
  LARGE_INTEGER size{};
  if (!IsDisk(Handle(file)) || ::GetFileSizeEx(Handle(file), &size) == 0) return false;
  *bytes = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

// SetEndOfFile cuts at the file pointer: it is moved to `bytes` and back.
bool Truncate(FileHandle file, std::uint64_t bytes) {
  const KeepPosition keep(Handle(file));
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(bytes);
  return keep.ok() && ::SetFilePointerEx(Handle(file), end, nullptr, FILE_BEGIN) != 0 &&
         ::SetEndOfFile(Handle(file)) != 0;
}

// The allocation size: room past the end of file, which SetEndOfFile gives
// back (Truncate).
bool Reserve(FileHandle file, std::uint64_t bytes) {
  FILE_ALLOCATION_INFO room{};
  room.AllocationSize.QuadPart = static_cast<LONGLONG>(bytes);
  return IsDisk(Handle(file)) &&
         ::SetFileInformationByHandle(Handle(file), FileAllocationInfo, &room, sizeof room) != 0;
}

bool Close(FileHandle file) { return ::CloseHandle(Handle(file)) != 0; }

// NTFS fills what lies between the valid data and a write past it with
// zeros before the write: files are best written from their start.
constexpr FileOps kNative = {OpenRead, Create, Read, ReadAt, Write, WriteAt, Size, Truncate, Reserve, Close, false};

}  // namespace

const FileOps& NativeFileOps() { return kNative; }

}  // namespace tarnwick
