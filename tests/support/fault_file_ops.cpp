#include "fault_file_ops.h"

#include <array>
#include <atomic>
#include <optional>

namespace tarnwick::test {
namespace {

// The plan is armed while no call runs; the counts are kept by whichever
// thread calls.
struct State {
  std::optional<FaultPlan> plan;
  std::array<std::atomic<int>, static_cast<std::size_t>(FileCall::kCount)> calls{};
  std::atomic<bool> hit = false;
  std::atomic<int> open_handles = 0;
};

State& Current() {
  static State state;
  return state;
}

const FileOps& Real() { return NativeFileOps(); }

// Counts the call and tells whether the plan makes it fail, and how.
std::optional<Fault> Due(FileCall call) {
  State& s = Current();
  const int n = ++s.calls[static_cast<std::size_t>(call)];
  if (!s.plan || s.plan->call != call) return std::nullopt;
  if (n == s.plan->nth || (s.plan->from_then_on && n > s.plan->nth)) {
    s.hit = true;
    return s.plan->fault;
  }
  return std::nullopt;
}

bool OpenRead(const char* name, FileHandle* file) {
  if (Due(FileCall::kOpenRead)) {
    *file = kNoFile;
    return false;
  }
  const bool ok = Real().open_read(name, file);
  if (ok) ++Current().open_handles;
  return ok;
}

CreateResult Create(const char* name, FileHandle keep, FileHandle* file) {
  if (Due(FileCall::kCreate)) {
    *file = kNoFile;
    return CreateResult::kFailed;
  }
  const CreateResult result = Real().create(name, keep, file);
  if (result == CreateResult::kCreated) ++Current().open_handles;
  return result;
}

bool Read(FileHandle file, void* buffer, std::size_t n, std::size_t* got) {
  if (auto fault = Due(FileCall::kRead)) {
    if (*fault == Fault::kShortRead) return Real().read(file, buffer, n / 2, got);
    return false;
  }
  return Real().read(file, buffer, n, got);
}

bool ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t n, std::size_t* got) {
  if (auto fault = Due(FileCall::kReadAt)) {
    if (*fault == Fault::kShortRead) return Real().read_at(file, offset, buffer, n / 2, got);
    return false;
  }
  return Real().read_at(file, offset, buffer, n, got);
}

bool Write(FileHandle file, const void* buffer, std::size_t n) {
  if (auto fault = Due(FileCall::kWrite)) {
    if (*fault == Fault::kNoSpace) Real().write(file, buffer, n / 2);
    return false;
  }
  return Real().write(file, buffer, n);
}

bool WriteAt(FileHandle file, std::uint64_t offset, const void* buffer, std::size_t n) {
  if (auto fault = Due(FileCall::kWriteAt)) {
    // A full disk stops a write where it would grow the file; overwriting
    // space the file already has needs none.
    std::uint64_t size = 0;
    if (*fault == Fault::kNoSpace && Real().size(file, &size) && offset + n > size && size > offset) {
      Real().write_at(file, offset, buffer, static_cast<std::size_t>(size - offset));
    } else if (*fault == Fault::kNoSpace && offset >= size) {
      Real().write_at(file, offset, buffer, n / 2);
    }
    return false;
  }
  return Real().write_at(file, offset, buffer, n);
}

bool Size(FileHandle file, std::uint64_t* bytes) {
  if (Due(FileCall::kSize)) return false;
  return Real().size(file, bytes);
}

bool Truncate(FileHandle file, std::uint64_t bytes) {
  if (Due(FileCall::kTruncate)) return false;
  return Real().truncate(file, bytes);
}

bool Reserve(FileHandle file, std::uint64_t bytes) {
  if (Due(FileCall::kReserve)) return false;
  return Real().reserve(file, bytes);
}

bool Close(FileHandle file) {
  const bool fail = Due(FileCall::kClose).has_value();
  --Current().open_handles;
  const bool ok = Real().close(file);
  return ok && !fail;
}

std::atomic<int> g_thread_starts{0};

bool CountedStart(WorkerThread* worker) {
  ++g_thread_starts;
  return NativeThreadOps().start(worker);
}
void NativeJoin(WorkerThread* worker) { NativeThreadOps().join(worker); }
// However busy the machine running the tests, the worker is used.
bool AlwaysFree() { return true; }
constexpr ThreadOps kCounted = {AlwaysFree, CountedStart, NativeJoin};

bool RefusedStart(WorkerThread*) { return false; }
void NoJoin(WorkerThread*) {}
constexpr ThreadOps kRefused = {AlwaysFree, RefusedStart, NoJoin};

}  // namespace

const FileOps& FaultFileOps() {
  static const FileOps faulty = {
      OpenRead, Create, Read, ReadAt, Write, WriteAt, Size, Truncate, Reserve, Close, Real().writes_in_any_order};
  return faulty;
}

void ArmFault(const FaultPlan& plan) {
  ClearFaults();
  Current().plan = plan;
}

void ClearFaults() {
  State& s = Current();
  s.plan.reset();
  for (auto& count : s.calls) count = 0;
  s.hit = false;
  s.open_handles = 0;
}

int CallCount(FileCall call) { return Current().calls[static_cast<std::size_t>(call)]; }
bool FaultHit() { return Current().hit; }
int OpenHandles() { return Current().open_handles; }

const ThreadOps& CountedThreadOps() { return kCounted; }
const ThreadOps& RefusedThreadOps() { return kRefused; }
int ThreadStarts() { return g_thread_starts.load(); }

}  // namespace tarnwick::test
