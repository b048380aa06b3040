#pragma once
// The reversal's output, written in order while the next block is read and
// reversed: by a worker thread when it is running, by the caller's thread
// itself when the worker has not got to a buffer by the time the caller needs
// that buffer again -- so that the caller never waits for a thread the system
// has not run, as on a machine whose other cores are busy. Where a worker
// would not pay, or cannot be had, the caller writes everything itself.
//
// Two buffers take turns: the caller fills one while the other is written.
// One caller thread hands buffers over. Writes are made one at a time and in
// order, whichever thread makes them.

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
  // Counts of hand-overs: made, taken by a thread to write (in order), and
  // written (in order). The nth hand-over (from 0) is entry n % 2; one of 0
  // bytes ends the worker.
  std::atomic<std::uint32_t> handed;
  std::atomic<std::uint32_t> claimed;
  std::atomic<std::uint32_t> done;
  std::atomic<bool> failed;  // a write failed; nothing more is written
  const std::uint8_t* data[2];
  std::size_t bytes[2];
};

// Makes `writer` ready to write to `out`: with a worker thread when
// `threaded`, a processor is free and a thread can be started; on the
// caller's thread alone otherwise.
void StartWriter(StagedWriter& writer, const FileOps& files, FileHandle out, const ThreadOps& threads, bool threaded);

// Has the n bytes at `data` written after everything handed over before; the
// bytes must stay as they are until a later WaitForTurn has returned. False
// once a write has failed; a failure may show only at a later call.
bool HandOver(StagedWriter& writer, const std::uint8_t* data, std::size_t n);

// Returns once every hand-over but the last has been written -- writing them
// itself if the worker has not taken them -- so that the memory of the one
// before the last can be filled again.
void WaitForTurn(StagedWriter& writer);

// Returns once everything handed over has been written, with the worker
// gone; later hand-overs are written on the caller's thread. True when every
// write has succeeded.
bool FinishWriter(StagedWriter& writer);

}  // namespace tarnwick
