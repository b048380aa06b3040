// tarnwick show FILE [--width N]: the peak envelope of the file's samples as
// text, read the way the library sees them (everything after the header) in
// one pass through a fixed buffer.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>

#include "tarnwick.h"
#include "tool.h"
#include "wav_header.h"
#include "wav_reverse.h"

namespace tarnwick::tool {
namespace {

constexpr std::size_t kRows = 8;
constexpr std::uint16_t kIeeeFloat = 3;  // the format code of floating-point samples, which it cannot draw

// Plain ASCII bars growing from the bottom, the loudest column filling the
// height, so that it reads the same in a terminal and in a CI log.
std::string Plot(const std::vector<double>& peaks, double seconds) {
  const double loudest = *std::max_element(peaks.begin(), peaks.end());
  if (loudest <= 0.0) return "(silence: every sample is zero)\n";
  const auto percent = [](double fraction) {
    const std::string text = Fixed(fraction * 100.0, 1) + "%";
    return std::string(6 - std::min<std::size_t>(6, text.size()), ' ') + text;
  };
  std::string plot;
  for (std::size_t row = kRows; row-- > 0;) {
    plot += (row + 1 == kRows ? percent(loudest) : row == 0 ? percent(0.0) : std::string(6, ' ')) + " |";
    for (const double peak : peaks) {
      const double above = peak / loudest * static_cast<double>(kRows) - static_cast<double>(row);
      plot += above >= 1.0 ? '#' : above >= 0.5 ? ':' : above > 0.0 ? '.' : ' ';
    }
    plot += "|\n";
  }
  const std::string end = Fixed(seconds, 3) + " s";
  const std::size_t gap = peaks.size() + 2 > end.size() + 4 ? peaks.size() + 2 - end.size() - 3 : 1;
  return plot + std::string(7, ' ') + "+" + std::string(peaks.size(), '-') + "+\n" + std::string(7, ' ') + "0 s" +
         std::string(gap, ' ') + end + "\n";
}

}  // namespace

double Magnitude(const std::uint8_t* sample, unsigned bits) {
  if (bits == 8) return std::fabs(sample[0] - 128.0) / 128.0;
  std::uint64_t raw = 0;  // little-endian, the top byte carrying the sign
  for (unsigned i = 0; i < bits / 8; ++i) raw |= static_cast<std::uint64_t>(sample[i]) << (8 * i);
  double value = static_cast<double>(raw);
  if ((sample[bits / 8 - 1] & 0x80) != 0) value -= std::ldexp(1.0, static_cast<int>(bits));
  return std::min(1.0, std::fabs(value) / std::ldexp(1.0, static_cast<int>(bits) - 1));
}

int Show(const Arg& file, long width) {
  if (!UsablePath(file)) return kExitUsage;
  std::FILE* stream = OpenForReading(file);
  const std::optional<std::uint64_t> size = stream != nullptr ? RegularFileSize(stream) : std::nullopt;
  WAVHeader header{};
  const bool whole = size && std::fread(header.bytes, 1, sizeof header.bytes, stream) == sizeof header.bytes;
  const unsigned channels = ReadU16(header, kChannelsAt);
  const unsigned bits = ReadU16(header, kBitsPerSampleAt);
  const auto frame = static_cast<std::size_t>(std::max(0, BytesPerFrame(header)));
  const auto fail = [&](const std::string& message) {
    if (stream != nullptr) (void)std::fclose(stream);
    PrintError(message);
    return TARNWICK_REVERSE_INPUT_FAILED;
  };
  const auto reason = [&] {
    return "cannot read '" + file.text + "' (" + std::generic_category().message(errno) + ")";
  };
  if (stream != nullptr && !size) return fail("cannot read '" + file.text + "' (not a regular file)");
  if (!whole && (!size || std::ferror(stream) != 0)) return fail(reason());
  if (!whole || !IsWaveForm(header)) {
    (void)std::fclose(stream);
    return Report(TARNWICK_REVERSE_NOT_WAVE, false, file.text, file.text);
  }
  if (channels == 0 || ReadU16(header, kFormatCodeAt) == kIeeeFloat || bits == 0 || bits % 8 != 0 || bits > 32 ||
      frame > kMaxFrameBytes) {
    return fail("cannot show '" + file.text + "': " + std::to_string(channels) + " channels of " +
                std::to_string(bits) + "-bit samples; only 8, 16, 24 and 32-bit integer PCM in frames of at most " +
                std::to_string(kMaxFrameBytes) + " bytes can be drawn");
  }

  const std::uint64_t frames = (*size - kWavHeaderBytes) / frame;
  std::vector<double> peaks(static_cast<std::size_t>(width), 0.0);
  // Column c covers frames [c * frames / width, (c + 1) * frames / width), so
  // a file and its reversal split into mirrored columns.
  static std::uint8_t buffer[2 * kMaxFrameBytes];
  std::size_t held = 0;
  std::uint64_t seen = 0;
  while (const std::size_t got = std::fread(buffer + held, 1, sizeof buffer - held, stream)) {
    held += got;
    std::size_t at = 0;
    for (; held - at >= frame && seen < frames; at += frame, ++seen) {
      double& peak = peaks[static_cast<std::size_t>(seen * peaks.size() / frames)];
      for (unsigned c = 0; c < channels; ++c) peak = std::max(peak, Magnitude(buffer + at + c * bits / 8, bits));
    }
    held -= at;
    std::memmove(buffer, buffer + at, held);
  }
  if (std::ferror(stream) != 0) return fail(reason());
  (void)std::fclose(stream);
  const std::uint32_t rate = ReadU32(header, kSampleRateAt);
  const double seconds = rate > 0 ? static_cast<double>(frames) / rate : 0.0;
  PrintText(file.text + ": " + std::to_string(channels) + (channels == 1 ? " channel, " : " channels, ") +
            std::to_string(bits) + "-bit, " + std::to_string(rate) + " Hz, " + std::to_string(frames) + " frames (" +
            Fixed(seconds, 3) + " s), peak " + Fixed(*std::max_element(peaks.begin(), peaks.end()) * 100.0, 1) +
            "% of full scale\n");
  PrintText(frames == 0 ? "(no samples)\n" : Plot(peaks, seconds));
  return kExitOk;
}

}  // namespace tarnwick::tool
