#pragma once
// The reversal's output, written in order by a worker thread, so that writing
// one staged buffer overlaps reading and reversing the next; or by the
// caller's thread itself, where a worker would not pay or cannot be had.
//
// Two buffers take turns: the caller fills one while the other is written.
// One caller thread hands buffers over; the worker, when there is one, is the
// only thread that writes to the file until FinishWriter has returned.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "file_ops.h"
#include "worker_thread.h"

namespace tarnwick {

struct StagedWriter {
  const FileOps* files;
  FileHandle out;
  const ThreadOps* threads;
  WorkerThread worker;
  bool threaded;  // the worker runs
  // Buffers handed over, and buffers the worker is done with. The nth hand-over
  // (from 0) uses entry n % 2; one of 0 bytes ends the worker.
  std::atomic<std::uint32_t> handed;
  std::atomic<std::uint32_t> done;
  std::atomic<bool> failed;  // a write failed; nothing more is written
  const std::uint8_t* data[2];
  std::size_t bytes[2];
};

// Makes `writer` ready to write to `out`: on a worker thread when `threaded`
// and one can be started, on the caller's thread otherwise.
void StartWriter(StagedWriter& writer, const FileOps& files, FileHandle out, const ThreadOps& threads, bool threaded);

// Writes the n bytes at `data` after everything handed over before, on the
// worker if there is one; the bytes must stay as they are until a later
// WaitForTurn has returned. False once a write has failed; a failure may show
// only at a later call.
bool HandOver(StagedWriter& writer, const std::uint8_t* data, std::size_t n);

// Returns once every hand-over but the last has been written, so that the
// memory of the one before the last can be filled again.
void WaitForTurn(StagedWriter& writer);

// Returns once everything handed over has been written, with the worker
// gone; later hand-overs are written on the caller's thread. True when every
// write has succeeded.
bool FinishWriter(StagedWriter& writer);

}  // namespace tarnwick
