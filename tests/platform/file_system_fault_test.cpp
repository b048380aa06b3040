// The reversal and the recorder over the real POSIX files while single system
// calls fail the way network and FUSE file systems and full disks make them
// fail: every call of every kind in turn (the worker thread's reads and
// writes too), interrupted (EINTR), cut short (a write that
// moves half its bytes) or broken (EIO). An interruption or a short write must
// change nothing; a failure must be reported, must never empty the input (also
// when the output is a hard link to it), must cost a recording at most the
// block it carried, and must leak no descriptor.

#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "fault_file_ops.h"
#include "recorder.h"
#include "recording_format.h"
#include "reverse_buffers.h"
#include "reverse_pool.h"
#include "scripted_capture.h"
#include "system_calls_posix.h"
#include "tarnwick.h"
#include "temp_dir.h"
#include "wav_bytes.h"
#include "wav_reverse.h"

namespace tarnwick::test {
namespace {

enum Call { kOpen, kFstat, kFtruncate, kRead, kPread, kWrite, kPwrite, kLseek, kClose, kFallocate, kCallKinds };
const char* const kCallNames[kCallKinds] = {"open",  "fstat",  "ftruncate", "read",  "pread",
                                            "write", "pwrite", "lseek",     "close", "fallocate"};

// Armed while no call runs; the calls are counted on whichever thread makes
// them (the reversal's two threads read and write at once).
struct Strike {
  Call call = kCallKinds;  // none
  int nth = 0;
  int error = 0;
} g_strike;
std::atomic<int> g_seen[kCallKinds];
std::atomic<bool> g_hit{false};

void Arm(Call call, int nth, int error) {
  g_strike = Strike{call, nth, error};
  for (auto& seen : g_seen) seen = 0;
  g_hit = false;
}

// Not an errno: the write moves half of its bytes, as on a full disk or a
// signal in the middle.
constexpr int kShort = -1;

// Counts the call and says whether it is the one to fail; sets errno if so.
bool Fails(Call call) {
  if (++g_seen[call] != g_strike.nth || call != g_strike.call) return false;
  g_hit = true;
  errno = g_strike.error;
  return true;
}

const posix::SystemCalls& Real() { return posix::RealSystemCalls(); }

int Open(const char* name, int flags, mode_t mode) { return Fails(kOpen) ? -1 : Real().open(name, flags, mode); }
int Fstat(int fd, struct stat* st) { return Fails(kFstat) ? -1 : Real().fstat(fd, st); }
int Ftruncate(int fd, off_t length) { return Fails(kFtruncate) ? -1 : Real().ftruncate(fd, length); }
ssize_t Read(int fd, void* buffer, size_t n) { return Fails(kRead) ? -1 : Real().read(fd, buffer, n); }
ssize_t Pread(int fd, void* buffer, size_t n, off_t at) { return Fails(kPread) ? -1 : Real().pread(fd, buffer, n, at); }
ssize_t Write(int fd, const void* buffer, size_t n) {
  if (!Fails(kWrite)) return Real().write(fd, buffer, n);
  return g_strike.error == kShort ? Real().write(fd, buffer, n / 2) : -1;
}
ssize_t Pwrite(int fd, const void* buffer, size_t n, off_t at) {
  if (!Fails(kPwrite)) return Real().pwrite(fd, buffer, n, at);
  return g_strike.error == kShort ? Real().pwrite(fd, buffer, n / 2, at) : -1;
}
off_t Lseek(int fd, off_t offset, int whence) { return Fails(kLseek) ? -1 : Real().lseek(fd, offset, whence); }
int Fallocate(int fd, int mode, off_t at, off_t n) {
  return Fails(kFallocate) ? -1 : Real().fallocate(fd, mode, at, n);
}
// Linux releases the descriptor even when close reports a failure.
int Close(int fd) {
  const bool fails = Fails(kClose);
  const int result = Real().close(fd);
  if (!fails) return result;
  errno = g_strike.error;
  return -1;
}

class FileSystemFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    posix::FileSystemCalls() = {&Open, &Fstat, &Ftruncate, &Read, &Pread, &Write, &Pwrite, &Lseek, &Close, &Fallocate};
  }
  void TearDown() override { posix::FileSystemCalls() = Real(); }
};

enum class Output { kNew, kExisting, kHardLinkToInput };

struct Outcome {
  std::int32_t result;
  Bytes input;
  Bytes output;
};

// One reversal with the nth call of `call` failing with `error` (none when
// nth is 0), from freshly written files.
Outcome Reverse(const TempDir& dir, const Bytes& input, Output output, Call call, int nth, int error) {
  const std::string in = dir.File("in.wav");
  const std::string out = dir.File("out.wav");
  ::unlink(out.c_str());
  WriteFile(in, input);
  if (output == Output::kExisting) WriteFile(out, Bytes(1000, 0x5A));
  if (output == Output::kHardLinkToInput) {
    EXPECT_EQ(::link(in.c_str(), out.c_str()), 0);
  }
  // The work shared with a worker thread, whatever its size.
  static const OwnedReverseBuffers buffers(kReverseBlockBytes, kStagingBytes, 0);
  Arm(call, nth, error);
  const std::int32_t result = ReverseWavFileWithBuffers(NativeFileOps(), Utf16(in).c_str(), Utf16(out).c_str(),
                                                        buffers.get(), CountedThreadOps());
  g_strike.call = kCallKinds;
  return {result, ReadFile(in), ReadFile(out)};
}

TEST_F(FileSystemFaults, NoSingleFailingCallLosesDataOrIsTakenForSuccess) {
  TempDir dir;
  Bytes samples(300001 * 3);  // 24-bit mono, several blocks, an odd size
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i * 13 + i / 509);
  const Bytes input = MakeWav(1, 24, 8000, samples);

  for (Output output : {Output::kNew, Output::kExisting, Output::kHardLinkToInput}) {
    const Outcome clean = Reverse(dir, input, output, kCallKinds, 0, 0);
    const bool aliased = output == Output::kHardLinkToInput;
    ASSERT_EQ(clean.result, aliased ? TARNWICK_REVERSE_OUTPUT_FAILED : TARNWICK_DONE);
    for (int call = 0; call < kCallKinds; ++call) {
      for (int error : {EINTR, EIO}) {
        for (int nth = 1;; ++nth) {
          const int descriptors = OpenDescriptorCount();
          const Outcome run = Reverse(dir, input, output, static_cast<Call>(call), nth, error);
          if (!g_hit) break;
          const std::string what = std::string(kCallNames[call]) + " #" + std::to_string(nth) +
                                   (error == EINTR ? " EINTR" : " EIO") + " output " +
                                   std::to_string(static_cast<int>(output));
          EXPECT_EQ(OpenDescriptorCount(), descriptors) << what;
          ASSERT_EQ(run.input, input) << what;
          if (error == EINTR || run.result == TARNWICK_DONE) {
            EXPECT_EQ(run.result, clean.result) << what;
            EXPECT_EQ(run.output, clean.output) << what;
          }
          if (aliased) {
            EXPECT_NE(run.result, TARNWICK_DONE) << what;
          }
        }
      }
    }
  }
}

struct Recorded {
  std::int32_t start;
  std::int32_t seconds;
  Bytes file;
};

// Start, three full seconds, a part-filled one handed back at Stop, with the
// nth call of `call` failing with `error` (none when nth is 0).
Recorded Record(const TempDir& dir, Call call, int nth, int error) {
  ::unlink(dir.File("rec.wav").c_str());
  ResetDevice();
  Device().filled_at_stop = kBlockBytes / 3;
  Arm(call, nth, error);
  const std::int32_t start = StartRecording(NativeFileOps(), ScriptedCaptureOps(), Utf16(dir.File("rec.wav")).c_str());
  for (int i = 0; i < 3 && start == TARNWICK_DONE; ++i) DeliverBuffer(kBlockBytes);
  const std::int32_t seconds = StopRecording();
  g_strike.call = kCallKinds;
  return {start, seconds, ReadFile(dir.File("rec.wav"))};
}

TEST_F(FileSystemFaults, ARecordingLosesNoBlockToAnInterruptedOrShortWrite) {
  TempDir dir;
  const Recorded clean = Record(dir, kCallKinds, 0, 0);
  ASSERT_EQ(clean.seconds, 4);
  for (const Call call : {kOpen, kFstat, kFtruncate, kPwrite, kClose}) {
    for (const int error : {EINTR, kShort, EIO}) {
      for (int nth = 1; error != kShort || call == kPwrite; ++nth) {
        const int descriptors = OpenDescriptorCount();
        const Recorded run = Record(dir, call, nth, error);
        if (!g_hit) break;
        const std::string what =
            std::string(kCallNames[call]) + " #" + std::to_string(nth) + " error " + std::to_string(error);
        EXPECT_EQ(OpenDescriptorCount(), descriptors) << what;
        if (error != EIO) {
          EXPECT_EQ(run.seconds, clean.seconds) << what;
          EXPECT_EQ(run.file, clean.file) << what;
          continue;
        }
        // A start that fails says so and leaves nothing to finish; later on,
        // the header states what the file holds, which is what Stop returned.
        if (run.start != TARNWICK_DONE) {
          EXPECT_EQ(run.start, TARNWICK_RECORD_DEVICE_FAILED) << what;
          EXPECT_TRUE(run.file.empty()) << what;
          continue;
        }
        EXPECT_GE(run.seconds, clean.seconds - 1) << what;
        EXPECT_EQ(run.file.size(), kWavHeaderBytes + std::size_t{kBlockBytes} * static_cast<std::size_t>(run.seconds))
            << what;
        WAVHeader header{};
        std::copy_n(run.file.begin(), sizeof header.bytes, header.bytes);
        EXPECT_EQ(ReadU32(header, kDataSizeAt) + kWavHeaderBytes, run.file.size()) << what;
      }
    }
  }
}

}  // namespace
}  // namespace tarnwick::test
