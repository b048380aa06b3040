// The recorder against a scripted device: every result, every way a recording
// ends, and the file after each step.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "fault_file_ops.h"
#include "recorder.h"
#include "recorder_state.h"
#include "scripted_capture.h"
#include "small_stack.h"
#include "tarnwick.h"
#include "temp_dir.h"
#include "wav_bytes.h"

namespace tarnwick::test {
namespace {

class RecorderLogic : public ::testing::Test {
 protected:
  void SetUp() override {
    StopRecording();
    ResetDevice();
    ClearFaults();
  }
  void TearDown() override { StopRecording(); }

  std::int32_t Start(const std::string& name, const FileOps& files = NativeFileOps()) {
    return StartRecording(files, ScriptedCaptureOps(), Utf16(dir.File(name)).c_str());
  }
  Bytes File(const std::string& name) { return ReadFile(dir.File(name)); }

  // The bytes a device filling buffers with the ramp 0, 1, 2, ... produces,
  // one entry per buffer handed back; a part-filled one padded with silence.
  static Bytes Blocks(const std::vector<std::uint32_t>& filled) {
    Bytes data;
    std::uint8_t next = 0;
    for (std::uint32_t bytes : filled) {
      for (std::uint32_t i = 0; i < kBlockBytes; ++i) data.push_back(i < bytes ? next++ : 0);
    }
    return data;
  }
  static Bytes Recording(const Bytes& blocks) { return MakeWav(1, 16, 8000, blocks); }

  TempDir dir;
};

TEST_F(RecorderLogic, FinishedHeaderIsByteForByteTheCanonicalOne) {
  ASSERT_EQ(Start("rec.wav"), TARNWICK_DONE);
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  EXPECT_EQ(StopRecording(), 2);
  const std::uint8_t expected[44] = {'R', 'I',  'F', 'F', 0x24, 0x7D, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
                                     ' ', 0x10, 0,   0,   0,    1,    0,   1,   0,   0x40, 0x1F, 0,    0,   0x80, 0x3E,
                                     0,   0,    2,   0,   0x10, 0,    'd', 'a', 't', 'a',  0x00, 0x7D, 0,   0};
  const Bytes file = File("rec.wav");
  ASSERT_EQ(file.size(), 44u + 2 * kBlockBytes);
  EXPECT_EQ(std::memcmp(file.data(), expected, 44), 0);
}

TEST_F(RecorderLogic, BlocksLandInOrderAndAPartLastBlockIsPaddedWithSilence) {
  struct Case {
    const char* what;
    std::vector<std::uint32_t> delivered;
    std::uint32_t filled_at_stop;
  };
  const Case cases[] = {
      {"nothing delivered", {}, 0},
      {"three full buffers", {kBlockBytes, kBlockBytes, kBlockBytes}, 0},
      {"two full, then a nearly empty one handed back at stop", {kBlockBytes, kBlockBytes}, 2},
      {"only a part buffer at stop", {}, 3000},
  };
  for (const Case& c : cases) {
    ResetDevice();
    Device().filled_at_stop = c.filled_at_stop;
    ASSERT_EQ(Start("rec.wav"), TARNWICK_DONE) << c.what;
    for (std::uint32_t bytes : c.delivered) ASSERT_TRUE(DeliverBuffer(bytes)) << c.what;
    const int adds_before_stop = Device().adds;
    std::vector<std::uint32_t> handed_back = c.delivered;
    if (c.filled_at_stop > 0) handed_back.push_back(c.filled_at_stop);
    const Bytes expected_blocks = Blocks(handed_back);
    const auto expected_count = static_cast<std::int32_t>(expected_blocks.size() / kBlockBytes);
    EXPECT_EQ(StopRecording(), expected_count) << c.what;
    EXPECT_EQ(File("rec.wav"), Recording(expected_blocks)) << c.what;
    EXPECT_EQ(Device().adds, adds_before_stop) << c.what << ": no buffer queued again once stopping";
    EXPECT_FALSE(Device().is_open) << c.what << ": device released";
  }
}

TEST_F(RecorderLogic, CallbackRequeuesOnTheHandleItIsGivenAndIgnoresOtherMessages) {
  ASSERT_EQ(Start("rec.wav"), TARNWICK_DONE);
  const Bytes before = File("rec.wav");
  for (UINT message : {WIM_OPEN, WIM_CLOSE, 0u, WIM_DATA + 1}) {
    OnCaptureBlock(ScriptedHandle(), message, 0, 0, 0);
  }
  EXPECT_EQ(File("rec.wav"), before);
  EXPECT_EQ(g_recorder.BlockCount, 0);
  ASSERT_TRUE(DeliverBuffer(kBlockBytes, OtherScriptedHandle()));
  EXPECT_EQ(Device().adds, 2);
  EXPECT_EQ(Device().last_add_device, OtherScriptedHandle());
  EXPECT_NE(Device().queued, nullptr);
}

TEST_F(RecorderLogic, StartAndStopNeedLittleOfTheHostsStack) {
  std::int32_t started = 0;
  std::int32_t seconds = -1;
  std::size_t used = 0;
  ASSERT_TRUE(RunOnSmallStack(
      SmallStackBytes(16 * 1024),
      [&] {
        started = Start("rec.wav");
        DeliverBuffer(kBlockBytes);
        seconds = StopRecording();
      },
      &used));
  EXPECT_EQ(started, TARNWICK_DONE);
  EXPECT_EQ(seconds, 1);
  // Sanitizers make every frame several times larger; the bound is for the
  // builds hosts run.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  used = 0;
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  used = 0;
#endif
  EXPECT_LE(used, 8192u) << "bytes of the host's stack, the test's own frames included";
}

TEST_F(RecorderLogic, FileIsAValidRecordingAfterEveryBlock) {
  ASSERT_EQ(Start("rec.wav"), TARNWICK_DONE);
  EXPECT_EQ(File("rec.wav"), Recording({})) << "an empty recording from the start";
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  EXPECT_EQ(File("rec.wav"), Recording(Blocks({kBlockBytes})));
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  EXPECT_EQ(File("rec.wav"), Recording(Blocks({kBlockBytes, kBlockBytes})));
}

TEST_F(RecorderLogic, FailedStartsReportTheirStepAndStopFinishesAnEmptyFile) {
  struct Case {
    const char* what;
    MMRESULT open, add, start;
    std::int32_t expected;
    bool device_left_open;
  };
  const Case cases[] = {
      {"no capture device", MMSYSERR_ERROR, 0, 0, TARNWICK_RECORD_DEVICE_FAILED, false},
      {"buffer refused", 0, MMSYSERR_ERROR, 0, TARNWICK_RECORD_QUEUE_FAILED, true},
      {"start refused", 0, 0, MMSYSERR_ERROR, TARNWICK_RECORD_START_FAILED, true},
  };
  for (const Case& c : cases) {
    ResetDevice();
    Device().open_result = c.open;
    Device().add_result = c.add;
    Device().start_result = c.start;
    EXPECT_EQ(Start("rec.wav"), c.expected) << c.what;
    EXPECT_EQ(Device().is_open, c.device_left_open) << c.what;
    EXPECT_EQ(File("rec.wav"), Recording({})) << c.what;
    EXPECT_EQ(StopRecording(), 0) << c.what;
    EXPECT_FALSE(Device().is_open) << c.what << ": released by Stop";
    EXPECT_EQ(File("rec.wav"), Recording({})) << c.what;
  }
}

TEST_F(RecorderLogic, FileThatCannotBeCreatedLeavesNothingToStop) {
  EXPECT_EQ(Start("no/such/dir/rec.wav"), TARNWICK_RECORD_DEVICE_FAILED);
  EXPECT_EQ(StartRecording(NativeFileOps(), ScriptedCaptureOps(), nullptr), TARNWICK_RECORD_DEVICE_FAILED);
  EXPECT_EQ(Device().opens, 0);
  EXPECT_EQ(StopRecording(), 0);
  EXPECT_EQ(Device().stops + Device().closes, 0);
}

TEST_F(RecorderLogic, StopWithoutARecordingTouchesNothing) {
  EXPECT_EQ(StopRecording(), 0);
  ASSERT_EQ(Start("rec.wav"), TARNWICK_DONE);
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  EXPECT_EQ(StopRecording(), 1);
  const Bytes finished = File("rec.wav");
  const ScriptedDevice after_first_stop = Device();
  EXPECT_EQ(StopRecording(), 0);
  EXPECT_EQ(File("rec.wav"), finished);
  EXPECT_EQ(Device().stops, after_first_stop.stops);
  EXPECT_EQ(Device().closes, after_first_stop.closes);
}

TEST_F(RecorderLogic, StartingAgainFinishesTheEarlierRecordingFirst) {
  ASSERT_EQ(Start("first.wav"), TARNWICK_DONE);
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  ASSERT_EQ(Start("second.wav"), TARNWICK_DONE);
  EXPECT_EQ(File("first.wav"), Recording(Blocks({kBlockBytes})));
  EXPECT_EQ(Device().closes, 1);
  EXPECT_EQ(File("second.wav"), Recording({})) << "counts from 0, header of an empty recording";
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  EXPECT_EQ(StopRecording(), 1);

  // The same after a start that failed and was never stopped.
  ResetDevice();
  Device().start_result = MMSYSERR_ERROR;
  ASSERT_EQ(Start("third.wav"), TARNWICK_RECORD_START_FAILED);
  Device().start_result = MMSYSERR_NOERROR;
  ASSERT_EQ(Start("fourth.wav"), TARNWICK_DONE);
  EXPECT_EQ(Device().closes, 1) << "the failed start's device was released";
  EXPECT_EQ(File("third.wav"), Recording({}));
}

TEST_F(RecorderLogic, BlockThatCannotBeWrittenIsNotCountedAndTheFileIsCutBack) {
  // Writes at offsets: header (1), block (2), header (3), block (4: disk full), ...
  ArmFault({FileCall::kWriteAt, 4, Fault::kNoSpace});
  ASSERT_EQ(Start("rec.wav", FaultFileOps()), TARNWICK_DONE);
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  ASSERT_TRUE(FaultHit());
  EXPECT_EQ(File("rec.wav"), Recording(Blocks({kBlockBytes}))) << "header and content agree";
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  EXPECT_EQ(StopRecording(), 2);
  Bytes expected = Blocks({kBlockBytes, kBlockBytes, kBlockBytes});
  expected.erase(expected.begin() + kBlockBytes, expected.begin() + 2 * kBlockBytes);
  EXPECT_EQ(File("rec.wav"), Recording(expected));
  EXPECT_EQ(OpenHandles(), 0);
}

TEST_F(RecorderLogic, RecordingStopsGrowingWhereTheHeaderCouldNoLongerStateItsSize) {
  ASSERT_EQ(Start("rec.wav"), TARNWICK_DONE);
  g_recorder.BlockCount = kMaxBlocks - 1;  // as after 74 hours
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  ASSERT_TRUE(DeliverBuffer(kBlockBytes));
  EXPECT_EQ(StopRecording(), kMaxBlocks);
  std::FILE* f = std::fopen(dir.File("rec.wav").c_str(), "rb");
  std::uint8_t header[44];
  ASSERT_EQ(std::fread(header, 1, 44, f), 44u);
  std::fclose(f);
  // Not ftell: its long is 32 bits on Windows.
  const std::uint64_t size = std::filesystem::file_size(FsPath(dir.File("rec.wav")));
  std::uint32_t riff = 0;
  for (int i = 0; i < 4; ++i) riff |= static_cast<std::uint32_t>(header[4 + i]) << (8 * i);
  EXPECT_EQ(size, 44 + static_cast<std::uint64_t>(kMaxBlocks) * kBlockBytes);
  EXPECT_EQ(riff + 8ull, size);
}

}  // namespace
}  // namespace tarnwick::test
