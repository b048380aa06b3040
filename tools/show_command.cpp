// tarnwick show FILE [--width N]: the file's peak envelope as text. Reads the
// samples the way the library sees them (everything after byte 44), in one
// streaming pass through a fixed buffer.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "command_table.h"
#include "envelope_plot.h"
#include "exit_codes.h"
#include "peak_envelope.h"
#include "scoped_file.h"
#include "wav_view.h"

namespace tarnwick::cli {
namespace {

constexpr long kDefaultWidth = 64;
constexpr long kMaxWidth = 1000;
constexpr std::size_t kRows = 8;
constexpr std::size_t kReadBytes = 64 * 1024;

bool Supported(const WavView& view) {
  const std::uint16_t bits = view.BitsPerSample();
  constexpr std::uint16_t kIeeeFloat = 3;
  return view.Channels() > 0 && view.FormatTag() != kIeeeFloat &&
         (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

void PrintSummary(const std::string& path, const WavView& view, std::uint64_t frames, double seconds,
                  const std::vector<double>& peaks) {
  double loudest = 0.0;
  for (const double peak : peaks) loudest = std::max(loudest, peak);
  std::printf("%s: %u channel%s, %u-bit, %u Hz, %llu frames", path.c_str(), view.Channels(),
              view.Channels() == 1 ? "" : "s", view.BitsPerSample(), view.SampleRate(),
              static_cast<unsigned long long>(frames));
  if (seconds >= 0.0) std::printf(" (%.3f s)", seconds);
  std::printf(", peak %.1f%% of full scale\n", loudest * 100.0);
}

}  // namespace

int RunShow(const Invocation& invocation) {
  const std::string path(invocation.positionals[0]);
  long width = kDefaultWidth;
  if (const auto option = invocation.line->Option("--width")) {
    const auto parsed = ParseCount(*option, 8, kMaxWidth);
    if (!parsed) {
      std::fprintf(stderr, "tarnwick: --width takes a number from 8 to %ld (see tarnwick --help)\n", kMaxWidth);
      return kExitUsage;
    }
    width = *parsed;
  }

  ScopedFile file = OpenForReading(path);
  struct stat st {};
  if (!file || ::fstat(::fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "tarnwick: cannot read '%s' (%s)\n", path.c_str(),
                 file ? "not a regular file" : std::strerror(errno));
    return kExitInputFailed;
  }
  WavView view;
  switch (ReadWavView(file.get(), &view)) {
    case HeaderRead::kOk: break;
    case HeaderRead::kUnreadable:
      std::fprintf(stderr, "tarnwick: cannot read '%s' (%s)\n", path.c_str(), std::strerror(errno));
      return kExitInputFailed;
    case HeaderRead::kNotWave:
      std::fprintf(stderr, "tarnwick: '%s' is not a WAVE file (too short, or bytes 8..11 are not \"WAVE\")\n",
                   path.c_str());
      return kExitNotWave;
  }
  if (!Supported(view)) {
    std::fprintf(stderr, "tarnwick: cannot show '%s': %u channels of %u-bit samples (format %u); only 8, 16, 24 "
                 "and 32-bit integer PCM can be drawn\n",
                 path.c_str(), view.Channels(), view.BitsPerSample(), view.FormatTag());
    return kExitInputFailed;
  }

  const std::size_t frame_bytes = view.FrameBytes();
  const std::uint64_t frames = (static_cast<std::uint64_t>(st.st_size) - kHeaderBytes) / frame_bytes;
  const double seconds = view.SampleRate() > 0 ? static_cast<double>(frames) / view.SampleRate() : -1.0;
  PeakEnvelope envelope(static_cast<std::size_t>(width), frames, view.Channels(), view.BitsPerSample());

  // A read may end inside a frame; the partial frame moves to the front of
  // the buffer and is completed by the next read.
  static std::uint8_t buffer[kReadBytes];
  std::size_t held = 0;
  for (;;) {
    const std::size_t got = std::fread(buffer + held, 1, sizeof buffer - held, file.get());
    if (got == 0) break;
    held += got;
    const std::size_t whole = held / frame_bytes;
    envelope.AddFrames(buffer, whole);
    held -= whole * frame_bytes;
    std::memmove(buffer, buffer + whole * frame_bytes, held);
  }
  if (std::ferror(file.get())) {
    std::fprintf(stderr, "tarnwick: cannot read '%s' (%s)\n", path.c_str(), std::strerror(errno));
    return kExitInputFailed;
  }

  PrintSummary(path, view, frames, seconds, envelope.Peaks());
  if (frames == 0) {
    std::printf("(no samples)\n");
  } else {
    std::fputs(PlotEnvelope(envelope.Peaks(), kRows, seconds).c_str(), stdout);
  }
  return kExitOk;
}

}  // namespace tarnwick::cli
