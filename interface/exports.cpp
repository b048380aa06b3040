// The library's exported functions: plain C names over the platform's own
// files and capture device, results as the public header gives them.

#include "file_ops.h"
#include "recorder.h"
#include "tarnwick.h"
#include "wav_reverse.h"

extern "C" {

TARNWICK_API std::int32_t WAVReverse(const char16_t* input_path, const char16_t* output_path) {
  return tarnwick::ReverseWavFile(tarnwick::NativeFileOps(), input_path, output_path);
}

TARNWICK_API std::int32_t SoundRecorderStart(const char16_t* path) {
  return tarnwick::StartRecording(tarnwick::NativeFileOps(), tarnwick::NativeCaptureOps(), path);
}

TARNWICK_API std::int32_t SoundRecorderStop(void) { return tarnwick::StopRecording(); }

}  // extern "C"
