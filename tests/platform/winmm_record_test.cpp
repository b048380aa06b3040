// Recording on Windows as a host does it: Tarnwick.dll loaded with
// LoadLibraryW and called by ordinal, over the real winmm, which (under Wine,
// with its ALSA driver) records from the paced virtual device of the Linux
// tests, so every sample is known. Also what becomes of a recording when the
// host unloads the library or exits while it runs.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "recording_format.h"
#include "tarnwick.h"
#include "temp_dir.h"
#include "virtual_ramp.h"
#include "wav_bytes.h"

namespace tarnwick::test {
namespace {

constexpr std::size_t kBlock = kBlockBytes;
constexpr int kChildExit = 7;

using StartFunction = decltype(&SoundRecorderStart);
using StopFunction = decltype(&SoundRecorderStop);

// The function types differ from FARPROC's: through void*, as
// GetProcAddress's users must.
template <typename Function>
Function ByOrdinal(HMODULE module, WORD ordinal) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
}

struct Library {
  HMODULE module = ::LoadLibraryW(FsPath(TARNWICK_LIBRARY_FILE).wstring().c_str());
  StartFunction start = ByOrdinal<StartFunction>(module, 3);
  StopFunction stop = ByOrdinal<StopFunction>(module, 4);
};

std::uint32_t Le32(const Bytes& file, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | file[at + i];
  return value;
}

// A finished or cut-off recording: the header states whole blocks that the
// file holds, and those carry the ramp, the last one perhaps ending in the
// silence that pads a part-filled block.
void ExpectRampRecording(const Bytes& file, std::size_t min_blocks) {
  ASSERT_GE(file.size(), 44u);
  const Bytes empty = MakeWav(kRecordingChannels, kRecordingBits, kRecordingRate, {});
  EXPECT_TRUE(std::equal(empty.begin(), empty.begin() + 4, file.begin())) << "RIFF";
  EXPECT_TRUE(std::equal(empty.begin() + 8, empty.begin() + 40, file.begin() + 8)) << "format";
  const std::uint32_t data = Le32(file, 40);
  EXPECT_EQ(Le32(file, 4), data + 36);
  ASSERT_EQ(data % kBlock, 0u);
  ASSERT_EQ(file.size(), 44 + std::size_t{data}) << "the header states what the file holds";
  EXPECT_GE(data / kBlock, min_blocks);
  std::vector<std::int16_t> samples(data / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<std::int16_t>(file[44 + 2 * i] | file[45 + 2 * i] << 8);
  }
  const RampCheck check = CheckRamp(samples);
  std::printf("%zu samples: %zu dropped before the start, %zu on the ramp, %zu inserted zero samples, %zu padding\n",
              std::size_t{data} / 2, check.skipped, check.followed, check.inserted, check.padding);
  if (check.off < samples.size()) {
    std::size_t index = 0;  // where on the ramp the stray sample would be
    while (index < std::size_t{kRecordingRate} * 120 && RampSample(index) != samples[check.off]) ++index;
    ADD_FAILURE() << "sample " << check.off << " is " << samples[check.off] << ", ramp index " << index << " where "
                  << check.skipped + check.followed << " was next";
  }
  EXPECT_LT(check.padding, kBlock / 2) << "the ramp stops before the last block";
  EXPECT_LE(check.inserted, kInsertedSilenceAllowed) << "more inserted silence than the test source is known for";
}

TEST(WinmmRecord, RecordsTheDeviceGaplesslyInOneSecondBlocks) {
  TempDir dir;
  Library library;
  ASSERT_NE(library.start, nullptr);
  ASSERT_EQ(library.start(Utf16(dir.File("rec.wav")).c_str()), TARNWICK_DONE);
  ::Sleep(4500);
  const std::int32_t seconds = library.stop();
  EXPECT_GE(seconds, 4);
  EXPECT_LE(seconds, 6);
  const Bytes file = ReadFile(dir.File("rec.wav"));
  EXPECT_EQ(file.size(), 44 + kBlock * static_cast<std::size_t>(seconds));
  ExpectRampRecording(file, 4);
  EXPECT_EQ(library.stop(), 0) << "a second stop touches nothing";
  EXPECT_TRUE(::FreeLibrary(library.module));
}

// Waits until the recording at `path` holds `blocks` whole blocks, however
// slowly Wine's driver starts on a busy machine; false after 20 s.
bool WaitForBlocks(const std::string& path, std::size_t blocks) {
  for (int waited = 0; waited < 20000; waited += 50) {
    std::error_code error;
    if (std::filesystem::file_size(FsPath(path), error) >= 44 + blocks * kBlock && !error) return true;
    ::Sleep(50);
  }
  return false;
}

// The child: records into `path` for a while, unloads the library first if
// asked, and leaves the process with the recording still running.
int RecordThenExit(const std::string& path, bool unload) {
  Library library;
  if (library.start == nullptr || library.start(Utf16(path).c_str()) != TARNWICK_DONE) return 1;
  if (!WaitForBlocks(path, 2)) return 3;
  if (unload && !::FreeLibrary(library.module)) return 2;
  // The recording goes on, with the host holding no reference.
  if (!WaitForBlocks(path, 3)) return 4;
  ::Sleep(300);
  return kChildExit;
}

// Neither a host that unloads the library while recording nor one that exits
// then may crash or hang, and the file is a valid recording of every whole
// block: its header is current after each one.
TEST(WinmmRecord, UnloadingOrExitingWhileRecordingLeavesAValidRecording) {
  for (const char* how : {"unload", "exit"}) {
    SCOPED_TRACE(how);
    TempDir dir;
    const std::string path = dir.File("rec.wav");
    wchar_t self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --record-then-exit " +
                           std::wstring(how, how + std::strlen(how)) + L" \"" + FsPath(path).wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(
        ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    const DWORD waited = ::WaitForSingleObject(child.hProcess, 60000);
    DWORD code = 0;
    ::GetExitCodeProcess(child.hProcess, &code);
    if (waited != WAIT_OBJECT_0) ::TerminateProcess(child.hProcess, 99);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the child hangs";
    EXPECT_EQ(code, static_cast<DWORD>(kChildExit));
    ExpectRampRecording(ReadFile(path), 3);
  }
}

}  // namespace
}  // namespace tarnwick::test

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--record-then-exit") == 0) {
    return tarnwick::test::RecordThenExit(argv[3], std::strcmp(argv[2], "unload") == 0);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
