// The reversal on what only POSIX systems offer: a pipe for an input, the
// room a file holds on disk, and a memory file system for a real file past
// 4 GiB.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "fault_file_ops.h"
#include "tarnwick.h"
#include "temp_dir.h"
#include "wav_bytes.h"
#include "wav_reverse.h"

namespace tarnwick::test {
namespace {

std::int32_t Reverse(const std::string& in, const std::string& out) {
  return ReverseWavFile(NativeFileOps(), Utf16(in).c_str(), Utf16(out).c_str());
}

Bytes Header(const Bytes& file) { return Bytes(file.begin(), file.begin() + 44); }

TEST(ReversePosix, InputThatCannotSeekFailsAfterTheHeader) {
  TempDir dir;
  const std::string fifo = dir.File("pipe.wav");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Bytes input = MakeWav(1, 16, 8000, {1, 2, 3, 4});
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(::write(fd, input.data(), input.size()), 0);
    ::close(fd);
  });
  EXPECT_EQ(Reverse(fifo, dir.File("out.wav")), TARNWICK_REVERSE_INPUT_FAILED);
  writer.join();
  EXPECT_EQ(ReadFile(dir.File("out.wav")), Header(input));
}

// The output's room is set aside in full up front; a reversal cut short by a
// failing read gives back what it did not fill.
TEST(ReversePosix, ReversalCutShortKeepsNoRoomPastWhatItWrote) {
  TempDir dir;
  WriteFile(dir.File("in.wav"), MakeWav(2, 16, 8000, Bytes(8 << 20, 0x5A)));
  ArmFault({FileCall::kReadAt, 3});
  EXPECT_EQ(ReverseWavFile(FaultFileOps(), Utf16(dir.File("in.wav")).c_str(), Utf16(dir.File("out.wav")).c_str()),
            TARNWICK_REVERSE_INPUT_FAILED);
  ClearFaults();
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("out.wav").c_str(), &st), 0);
  EXPECT_LT(st.st_size, 1 << 20);
  EXPECT_LE(static_cast<std::uint64_t>(st.st_blocks) * 512, static_cast<std::uint64_t>(st.st_size) + (64 << 10));
}

TEST(ReversePosix, RealSparseFilePastFourGibibytes) {
  // The output is 4 GiB of real writes: kept in memory where there is a
  // memory file system, so the test takes seconds rather than a disk's time.
  const bool in_memory = FileExists("/dev/shm") && ::access("/dev/shm", W_OK) == 0;
  TempDir dir = in_memory ? TempDir("/dev/shm") : TempDir();
  const std::uint64_t data = (std::uint64_t{1} << 32) + 8;  // 2^30 + 2 stereo frames
  const Bytes header = Header(MakeWav(2, 16, 44100, {}));
  const int fd = ::open(dir.File("in.wav").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(44 + data)), 0);
  const std::uint8_t first[4] = {1, 2, 3, 4};
  const std::uint8_t last[4] = {5, 6, 7, 8};
  ASSERT_EQ(::pwrite(fd, header.data(), 44, 0), 44);
  ASSERT_EQ(::pwrite(fd, first, 4, 44), 4);
  ASSERT_EQ(::pwrite(fd, last, 4, static_cast<off_t>(44 + data - 4)), 4);
  ::close(fd);

  ASSERT_EQ(Reverse(dir.File("in.wav"), dir.File("out.wav")), TARNWICK_DONE);
  const int out = ::open(dir.File("out.wav").c_str(), O_RDONLY);
  struct stat st {};
  ASSERT_EQ(::fstat(out, &st), 0);
  EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), 44 + data);
  std::uint8_t got_first[4] = {};
  std::uint8_t got_last[4] = {};
  ASSERT_EQ(::pread(out, got_first, 4, 44), 4);
  ASSERT_EQ(::pread(out, got_last, 4, static_cast<off_t>(44 + data - 4)), 4);
  ::close(out);
  EXPECT_EQ(std::memcmp(got_first, last, 4), 0);
  EXPECT_EQ(std::memcmp(got_last, first, 4), 0);
}

}  // namespace
}  // namespace tarnwick::test
