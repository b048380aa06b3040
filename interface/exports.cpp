// The library's exported functions: plain C names, the platform's own
// operations, results as the public header gives them.

#include "tarnwick.h"
#include "file_ops.h"
#include "wav_reverse.h"

extern "C" TARNWICK_API std::int32_t WAVReverse(const char16_t* input_path, const char16_t* output_path) {
  return tarnwick::ReverseWavFile(tarnwick::NativeFileOps(), input_path, output_path);
}
