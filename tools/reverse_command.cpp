// tarnwick reverse IN OUT: one call of WAVReverse, with the library's result
// turned into a message and an exit code.

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "command_table.h"
#include "exit_codes.h"
#include "library_loader.h"
#include "scoped_file.h"
#include "tarnwick.h"
#include "utf16_args.h"
#include "wav_view.h"

namespace tarnwick::cli {
namespace {

bool ToUtf16(std::string_view what, std::string_view path, std::u16string* utf16) {
  Utf8Error error;
  if (Utf8ToUtf16(path, utf16, &error)) return true;
  std::fprintf(stderr, "tarnwick: the %.*s path '%s' is not valid UTF-8 (at byte %zu); paths are taken as UTF-8\n",
               static_cast<int>(what.size()), what.data(), QuoteBytes(path).c_str(), error.offset);
  return false;
}

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
    std::fprintf(stderr,
                 "tarnwick: warning: '%s' has extra chunks before its samples (%s); they will be reversed as if "
                 "they were samples\n",
                 path.c_str(), problem.c_str());
    return;
  }
  // Chunks after the data chunk (LIST at the end, an odd chunk's pad byte)
  // are reversed too. A data size of 0 or ~0 is what streaming writers leave,
  // so it says nothing about trailing chunks.
  struct stat st {};
  const std::uint32_t declared = view.DataChunkBytes();
  if (::fstat(::fileno(file.get()), &st) != 0 || declared == 0 || declared == 0xFFFFFFFFu) return;
  // The header was read whole, so the file has at least its 44 bytes.
  const std::uint64_t trailing = static_cast<std::uint64_t>(st.st_size) - kHeaderBytes;
  if (trailing > declared) {
    std::fprintf(stderr,
                 "tarnwick: warning: '%s' has %llu bytes after its data chunk; they will be reversed as if they "
                 "were samples\n",
                 path.c_str(), static_cast<unsigned long long>(trailing - declared));
  }
}

int Report(std::int32_t result, const std::string& in, const std::string& out) {
  switch (result) {
    case TARNWICK_DONE:
      return kExitOk;
    case TARNWICK_REVERSE_INPUT_FAILED:
      std::fprintf(stderr,
                   "tarnwick: cannot read '%s' (missing, unreadable, not seekable, or an unsupported frame size)\n",
                   in.c_str());
      return kExitInputFailed;
    case TARNWICK_REVERSE_OUTPUT_FAILED:
      std::fprintf(stderr, "tarnwick: cannot write '%s' (cannot be created or written, or it is the input file)\n",
                   out.c_str());
      return kExitOutputFailed;
    case TARNWICK_REVERSE_NOT_WAVE:
      std::fprintf(stderr, "tarnwick: '%s' is not a WAVE file (too short, or bytes 8..11 are not \"WAVE\")\n",
                   in.c_str());
      return kExitNotWave;
    default:
      std::fprintf(stderr, "tarnwick: the library returned %d, which this version does not know\n", result);
      return kExitLibrary;
  }
}

}  // namespace

int RunReverse(const Invocation& invocation) {
  const std::string in(invocation.positionals[0]);
  const std::string out(invocation.positionals[1]);
  std::u16string in16;
  std::u16string out16;
  if (!ToUtf16("input", in, &in16) || !ToUtf16("output", out, &out16)) return kExitUsage;

  std::string error;
  const auto library = LoadedLibrary::Load(invocation.library_path, &error);
  if (!library) {
    std::fprintf(stderr, "tarnwick: %s\n", error.c_str());
    return kExitLibrary;
  }
  const auto reverse = library->Find<decltype(&WAVReverse)>("WAVReverse");
  if (reverse == nullptr) {
    std::fprintf(stderr, "tarnwick: %s does not export WAVReverse\n", library->path().c_str());
    return kExitLibrary;
  }

  WarnAboutLayout(in);
  return Report(reverse(in16.c_str(), out16.c_str()), in, out);
}

}  // namespace tarnwick::cli
