// tarnwick reverse IN OUT: one call of WAVReverse, with the library's result
// turned into a message and an exit code.

#include <filesystem>
#include <optional>
#include <string>

#include "command_table.h"
#include "console.h"
#include "exit_codes.h"
#include "library_loader.h"
#include "path_argument.h"
#include "reverse_progress.h"
#include "scoped_file.h"
#include "tarnwick.h"
#include "wav_view.h"

namespace tarnwick::cli {
namespace {

// The library reverses everything after byte 44 as samples. Files with more
// chunks than "fmt " and "data" (LIST, fact, an extensible format) come out
// with those chunks scrambled into the sound, which the result cannot tell,
// so it is said up front. Files the library will refuse get no warning: its
// result explains them.
void WarnAboutLayout(const std::string& path) {
  ScopedFile file = OpenForReading(path);
  if (!file) return;
  WavView view;
  if (ReadWavView(file.get(), &view) != HeaderRead::kOk || view.FrameBytes() == 0) return;
  const std::string problem = view.LayoutProblem();
  if (!problem.empty()) {
    PrintError("warning: '" + path + "' has extra chunks before its samples (" + problem +
               "); they will be reversed as if they were samples");
    return;
  }
  // Chunks after the data chunk (LIST at the end, an odd chunk's pad byte)
  // are reversed too. A data size of 0 or ~0 is what streaming writers leave,
  // so it says nothing about trailing chunks.
  const std::optional<std::uint64_t> size = RegularFileSize(file.get());
  const std::uint32_t declared = view.DataChunkBytes();
  if (!size || declared == 0 || declared == 0xFFFFFFFFu) return;
  // The header was read whole, so the file has at least its 44 bytes.
  const std::uint64_t after_header = *size - kHeaderBytes;
  if (after_header > declared) {
    PrintError("warning: '" + path + "' has " + std::to_string(after_header - declared) +
               " bytes after its data chunk; they will be reversed as if they were samples");
  }
}

int Report(std::int32_t result, const std::string& in, const std::string& out) {
  switch (result) {
    case TARNWICK_DONE: return kExitOk;
    case TARNWICK_REVERSE_INPUT_FAILED:
      PrintError("cannot read '" + in + "' (missing, unreadable, not seekable, or an unsupported frame size)");
      return kExitInputFailed;
    case TARNWICK_REVERSE_OUTPUT_FAILED:
      PrintError("cannot write '" + out + "' (cannot be created or written, or it is the input file)");
      return kExitOutputFailed;
    case TARNWICK_REVERSE_NOT_WAVE:
      PrintError("'" + in + "' is not a WAVE file (too short, or bytes 8..11 are not \"WAVE\")");
      return kExitNotWave;
    default:
      PrintError("the library returned " + std::to_string(result) + ", which this version does not know");
      return kExitLibrary;
  }
}

}  // namespace

int RunReverse(const Invocation& invocation) {
  const std::string in(invocation.positionals[0]);
  const std::string out(invocation.positionals[1]);
  std::u16string in16;
  std::u16string out16;
  if (!PathArgumentToUtf16("input", in, &in16) || !PathArgumentToUtf16("output", out, &out16)) return kExitUsage;

  std::string error;
  const auto library = LoadedLibrary::Load(invocation.library_path, &error);
  if (!library) {
    PrintError(error);
    return kExitLibrary;
  }
  const auto reverse = library->Find<decltype(&WAVReverse)>("WAVReverse");
  if (reverse == nullptr) {
    PrintError(library->path() + " does not export WAVReverse");
    return kExitLibrary;
  }

  WarnAboutLayout(in);
  std::error_code unknown;
  const std::uintmax_t input_bytes = std::filesystem::file_size(std::filesystem::path(in16), unknown);
  const std::int32_t result =
      ReverseWithProgress([&] { return reverse(in16.c_str(), out16.c_str()); }, out, out16, unknown ? 0 : input_bytes);
  return Report(result, in, out);
}

}  // namespace tarnwick::cli
