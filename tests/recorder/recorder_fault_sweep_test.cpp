// Every file call and every capture call fails in turn during a recording.
// Whatever fails, the result is one of the recorder's results, the device and
// every handle are released, and the file's header states exactly what it
// holds.

#include <gtest/gtest.h>

#include <cstdio>

#include "fault_file_ops.h"
#include "recorder.h"
#include "recorder_state.h"
#include "scripted_capture.h"
#include "tarnwick.h"
#include "temp_dir.h"

namespace tarnwick::test {
namespace {

std::uint32_t U32At(const Bytes& file, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(file[at + i]) << (8 * i);
  return value;
}

struct Outcome {
  std::int32_t start;
  std::int32_t seconds;
};

// Start, three full seconds, a part-filled one handed back at Stop.
Outcome Record(const TempDir& dir, const FileOps& files) {
  std::remove(dir.File("rec.wav").c_str());
  Device().filled_at_stop = 5000;
  const std::int32_t start = StartRecording(files, ScriptedCaptureOps(), Utf16(dir.File("rec.wav")).c_str());
  for (int i = 0; i < 3; ++i) DeliverBuffer(kBlockBytes);
  return {start, StopRecording()};
}

void ExpectHeaderStatesContent(const TempDir& dir, std::int32_t seconds, const std::string& what) {
  if (!FileExists(dir.File("rec.wav"))) return;
  const Bytes file = ReadFile(dir.File("rec.wav"));
  if (file.empty()) return;  // nothing claimed
  ASSERT_GE(file.size(), 44u) << what;
  EXPECT_EQ(U32At(file, 4) + 8u, file.size()) << what << ": RIFF size";
  EXPECT_EQ(U32At(file, 40) + 44u, file.size()) << what << ": data size";
  EXPECT_EQ(file.size(), 44u + kBlockBytes * static_cast<std::uint32_t>(seconds)) << what << ": seconds returned";
}

TEST(RecorderFaultSweep, FailingFileCalls) {
  TempDir dir;
  const FileCall calls[] = {FileCall::kCreate, FileCall::kWriteAt, FileCall::kTruncate, FileCall::kClose};
  int hits = 0;
  for (FileCall call : calls) {
    for (Fault fault : {Fault::kFail, Fault::kNoSpace}) {
      for (int nth = 1; nth <= 20; ++nth) {
        // Once, and from then on (a disk that stays full).
        const bool from_then_on = nth > 10;
        const int first = from_then_on ? nth - 10 : nth;
        const std::string what = "file call " + std::to_string(static_cast<int>(call)) + ", fault " +
                                 std::to_string(static_cast<int>(fault)) + ", from call " + std::to_string(first) +
                                 (from_then_on ? " on" : " once");
        ResetDevice();
        ArmFault({call, first, fault, from_then_on});
        const Outcome outcome = Record(dir, FaultFileOps());
        hits += FaultHit() ? 1 : 0;
        EXPECT_TRUE(outcome.start == TARNWICK_DONE || outcome.start == TARNWICK_RECORD_DEVICE_FAILED) << what;
        if (outcome.start != TARNWICK_DONE) {
          EXPECT_EQ(Device().opens, 0) << what << ": no device for a failed file";
        }
        EXPECT_FALSE(Device().is_open) << what;
        EXPECT_EQ(OpenHandles(), 0) << what;
        ExpectHeaderStatesContent(dir, outcome.seconds, what);
        if (!FaultHit()) {
          EXPECT_EQ(outcome.seconds, 4) << what;
        }
      }
    }
  }
  ClearFaults();
  EXPECT_GT(hits, 20);
}

TEST(RecorderFaultSweep, FailingCaptureCalls) {
  TempDir dir;
  struct Case {
    const char* what;
    MMRESULT ScriptedDevice::*result;
    std::int32_t expected_start;
  };
  const Case cases[] = {
      {"open", &ScriptedDevice::open_result, TARNWICK_RECORD_DEVICE_FAILED},
      {"add", &ScriptedDevice::add_result, TARNWICK_RECORD_QUEUE_FAILED},
      {"start", &ScriptedDevice::start_result, TARNWICK_RECORD_START_FAILED},
      {"stop", &ScriptedDevice::stop_result, TARNWICK_DONE},
      {"unprepare", &ScriptedDevice::unprepare_result, TARNWICK_DONE},
      {"close", &ScriptedDevice::close_result, TARNWICK_DONE},
  };
  for (const Case& c : cases) {
    {
      ResetDevice();
      Device().*c.result = MMSYSERR_ERROR;
      const Outcome outcome = Record(dir, NativeFileOps());
      EXPECT_EQ(outcome.start, c.expected_start) << c.what;
      EXPECT_FALSE(Device().is_open) << c.what;
      ExpectHeaderStatesContent(dir, outcome.seconds, c.what);
    }
  }
}

}  // namespace
}  // namespace tarnwick::test
