// tarnwick show FILE [--width N]: the file's peak envelope as text. Reads the
// samples the way the library sees them (everything after byte 44), in one
// streaming pass through a fixed buffer.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

#include "command_table.h"
#include "console.h"
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
constexpr std::size_t kReadBytes = std::size_t{64} * 1024;  // also the largest frame it takes

bool Supported(const WavView& view) {
  const std::uint16_t bits = view.BitsPerSample();
  constexpr std::uint16_t kIeeeFloat = 3;
  return view.Channels() > 0 && view.FormatTag() != kIeeeFloat && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

// strerror's text without its shared buffer.
std::string Reason(int error) { return std::generic_category().message(error); }

std::string Summary(const std::string& path, const WavView& view, std::uint64_t frames, double seconds,
                    const std::vector<double>& peaks) {
  double loudest = 0.0;
  for (const double peak : peaks) loudest = std::max(loudest, peak);
  std::string line = path + ": " + std::to_string(view.Channels()) +
                     (view.Channels() == 1 ? " channel, " : " channels, ") + std::to_string(view.BitsPerSample()) +
                     "-bit, " + std::to_string(view.SampleRate()) + " Hz, " + std::to_string(frames) + " frames";
  if (seconds >= 0.0) line += " (" + Fixed(seconds, 3) + " s)";
  return line + ", peak " + Fixed(loudest * 100.0, 1) + "% of full scale\n";
}

}  // namespace

int RunShow(const Invocation& invocation) {
  const std::string path(invocation.positionals[0]);
  long width = kDefaultWidth;
  if (const auto option = invocation.line->Option("--width")) {
    const auto parsed = ParseCount(*option, 8, kMaxWidth);
    if (!parsed) {
      PrintError("--width takes a number from 8 to " + std::to_string(kMaxWidth) + " (see tarnwick --help)");
      return kExitUsage;
    }
    width = *parsed;
  }

  ScopedFile file = OpenForReading(path);
  const std::optional<std::uint64_t> size = file ? RegularFileSize(file.get()) : std::nullopt;
  if (!size) {
    PrintError("cannot read '" + path + "' (" + (file ? std::string("not a regular file") : Reason(errno)) + ")");
    return kExitInputFailed;
  }
  WavView view;
  switch (ReadWavView(file.get(), &view)) {
    case HeaderRead::kOk: break;
    case HeaderRead::kUnreadable:
      PrintError("cannot read '" + path + "' (" + Reason(errno) + ")");
      return kExitInputFailed;
    case HeaderRead::kNotWave:
      PrintError("'" + path + "' is not a WAVE file (too short, or bytes 8..11 are not \"WAVE\")");
      return kExitNotWave;
  }
  if (!Supported(view)) {
    PrintError("cannot show '" + path + "': " + std::to_string(view.Channels()) + " channels of " +
               std::to_string(view.BitsPerSample()) + "-bit samples (format " + std::to_string(view.FormatTag()) +
               "); only 8, 16, 24 and 32-bit integer PCM, in frames of at most 64 KiB, can be drawn");
    return kExitInputFailed;
  }

  const std::size_t frame_bytes = view.FrameBytes();
  const std::uint64_t frames = (*size - kHeaderBytes) / frame_bytes;
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
    PrintError("cannot read '" + path + "' (" + Reason(errno) + ")");
    return kExitInputFailed;
  }

  PrintText(Summary(path, view, frames, seconds, envelope.Peaks()));
  PrintText(frames == 0 ? "(no samples)\n" : PlotEnvelope(envelope.Peaks(), kRows, seconds));
  return kExitOk;
}

}  // namespace tarnwick::cli
