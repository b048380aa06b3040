// Starting and stopping a recording, on the host's threads.

#include <mutex>

#include "path_name.h"
#include "recorder.h"
#include "recorder_state.h"
#include "tarnwick.h"

namespace tarnwick {

RecorderState g_recorder{};

namespace {

// Start and Stop from several host threads take turns; the capture callback
// never takes this lock.
std::mutex g_host_calls;

// The recording's file name, made under g_host_calls. Static rather than on
// the host's stack, which may be a small one.
char g_name[kNameCapacity];

constexpr WAVEFORMATEX kCaptureFormat = {WAVE_FORMAT_PCM,
                                         kRecordingChannels,
                                         kRecordingRate,
                                         kRecordingRate* kRecordingFrameBytes,
                                         kRecordingFrameBytes,
                                         kRecordingBits,
                                         0};

constexpr UINT kHeaderSize = sizeof(WAVEHDR);

std::int32_t OpenCaptureDevice() {
  RecorderState& r = g_recorder;
  if (r.capture->open(&r.device, WAVE_MAPPER, &kCaptureFormat, reinterpret_cast<DWORD_PTR>(&OnCaptureBlock), 0,
                      CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
    r.device = nullptr;
    return TARNWICK_RECORD_DEVICE_FAILED;
  }
  r.buffer_header.lpData = r.CaptureBuffer;
  r.buffer_header.dwBufferLength = kBlockBytes;
  r.buffer_header.dwBytesRecorded = 0;
  r.buffer_header.dwUser = 0;
  r.buffer_header.dwFlags = 0;
  r.buffer_header.dwLoops = 0;
  r.capture->prepare_header(r.device, &r.buffer_header, kHeaderSize);
  if (r.capture->add_buffer(r.device, &r.buffer_header, kHeaderSize) != MMSYSERR_NOERROR)
    return TARNWICK_RECORD_QUEUE_FAILED;
  if (r.capture->start(r.device) != MMSYSERR_NOERROR) return TARNWICK_RECORD_START_FAILED;
  return TARNWICK_DONE;
}

// Finishes the open recording: once the device has stopped, nothing else
// writes to the file, so the header written here is the last word.
std::int32_t FinishRecording() {
  RecorderState& r = g_recorder;
  if (r.file == kNoFile) return 0;
  r.stopping.store(true, std::memory_order_release);
  if (r.device != nullptr) {
    // Stop hands back the buffer in progress through the callback, which
    // writes it, and returns only once that callback has returned.
    r.capture->stop(r.device);
    r.capture->unprepare_header(r.device, &r.buffer_header, kHeaderSize);
    r.capture->close(r.device);
    r.device = nullptr;
  }
  if (!WriteRecordingHeader(r, r.BlockCount)) {
    // The header on disk is an earlier one: cut the file back to what it
    // states, so that header and content still agree.
    r.files->truncate(r.file, kWavHeaderBytes + static_cast<std::uint64_t>(r.header_blocks) * kBlockBytes);
  }
  r.files->close(r.file);
  r.file = kNoFile;
  return r.header_blocks;
}

}  // namespace

std::int32_t StartRecording(const FileOps& files, const CaptureOps& capture, const char16_t* path) {
  std::lock_guard<std::mutex> turn(g_host_calls);
  RecorderState& r = g_recorder;
  FinishRecording();

  r.files = &files;
  r.capture = &capture;
  r.BlockCount = 0;
  r.stopping.store(false, std::memory_order_release);

  FileHandle file = kNoFile;
  if (!PathToName(path, g_name, sizeof g_name) || files.create(g_name, kNoFile, &file) != CreateResult::kCreated) {
    return TARNWICK_RECORD_DEVICE_FAILED;
  }
  // From the first moment the file is a valid, empty recording.
  r.file = file;
  if (!WriteRecordingHeader(r, 0)) {
    files.truncate(file, 0);  // no half-written header left behind
    files.close(file);
    r.file = kNoFile;
    return TARNWICK_RECORD_DEVICE_FAILED;
  }
  return OpenCaptureDevice();
}

std::int32_t StopRecording() {
  std::lock_guard<std::mutex> turn(g_host_calls);
  return FinishRecording();
}

}  // namespace tarnwick
