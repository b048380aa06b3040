#pragma once
// A FileOps record that wraps the native files and fails chosen calls: the Nth
// call of one kind, once or from then on. Like a test file system under a
// database, it lets a test sweep a fault across every call an operation makes.
// One plan at a time, process-wide. Calls may come from several threads at
// once (a reversal and its worker).

#include "file_ops.h"
#include "worker_thread.h"

namespace tarnwick::test {

enum class FileCall {
  kOpenRead,
  kCreate,
  kRead,
  kReadAt,
  kWrite,
  kWriteAt,
  kSize,
  kTruncate,
  kReserve,
  kClose,
  kCount
};

enum class Fault {
  kFail,       // the call fails outright (a close still releases the handle)
  kShortRead,  // a read returns success with only half the bytes asked for
  kNoSpace,    // a write that grows the file puts part of it on disk, then fails as on a full disk
};

struct FaultPlan {
  FileCall call;
  int nth;  // 1 = the first call of that kind
  Fault fault = Fault::kFail;
  bool from_then_on = false;
};

const FileOps& FaultFileOps();

// Starts counting afresh and arms `plan` (or no fault at all).
void ArmFault(const FaultPlan& plan);
void ClearFaults();

// Calls of one kind since the last ArmFault/ClearFaults.
int CallCount(FileCall call);
// Whether the armed fault was hit.
bool FaultHit();
// Handles opened through the record and not yet closed.
int OpenHandles();

// The native threads, with every start counted; and threads that can never be
// made, so that the work is done without them.
const ThreadOps& CountedThreadOps();
const ThreadOps& RefusedThreadOps();
int ThreadStarts();

}  // namespace tarnwick::test
