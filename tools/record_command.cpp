// tarnwick record OUT [--seconds N]: records until N seconds are recorded,
// Enter, Ctrl-C or SIGTERM, and always finishes the file. The library records
// on its own thread; this one watches the file, which holds every whole
// second at all times. N counts the device's seconds, not the wall clock's:
// a block cannot land before its last sample was captured, so each landing
// bounds when the device began, however late it started or the machine
// delivers; Stop comes a little before block N is full, and the library hands
// that back as the last second.

#include <algorithm>
#include <chrono>
#include <cmath>

#include "recording_format.h"
#include "tarnwick.h"
#include "tool.h"
#include "wav_header.h"

namespace tarnwick::tool {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

// Room for this thread's and the capture thread's wake-ups under load; the
// last block still holds at least 0.8 s of sound.
constexpr std::chrono::milliseconds kLead{150};
constexpr std::uint32_t kBounds = 8;  // few enough that the device clock's drift does not add up
constexpr seconds kStalled{5};        // nothing delivered this long after a block was due

// The whole blocks the file holds now. The header is rewritten in place while
// this reads it; the file's size bounds what a torn read could claim.
std::uint32_t BlocksIn(std::FILE* file) {
  WAVHeader h{};
  const std::optional<std::uint64_t> size = file != nullptr ? RegularFileSize(file) : std::nullopt;
  if (!size || *size < kWavHeaderBytes || !ReadAt(file, 0, h.bytes, sizeof h.bytes)) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(ReadU32(h, kDataSizeAt), *size - kWavHeaderBytes) /
                                    kBlockBytes);
}

// "rec  12/30 s [#####---     ] peak  -6.0 dB  Enter or Ctrl-C stops": the
// newest second's RMS solid and its peak dashed, from -60 dB to full scale.
std::string MeterLine(std::FILE* file, std::uint32_t blocks, std::optional<long> limit, bool enter) {
  constexpr std::size_t kBar = 24;
  static std::uint8_t block[kBlockBytes];
  std::string elapsed = std::to_string(blocks);
  if (limit) elapsed.append("/").append(std::to_string(*limit));
  std::string line = "rec ";
  line.append(elapsed.size() < 7 ? 7 - elapsed.size() : 0, ' ').append(elapsed).append(" s [");
  const std::string hint = enter ? "  Enter or Ctrl-C stops" : "  Ctrl-C stops";
  if (blocks == 0 || !ReadAt(file, kWavHeaderBytes + std::uint64_t{blocks - 1} * kBlockBytes, block, kBlockBytes)) {
    return line + std::string(kBar, ' ') + "] peak    -- dB" + hint;
  }
  double peak = 0.0;
  double squares = 0.0;
  for (std::uint32_t at = 0; at < kBlockBytes; at += kRecordingFrameBytes) {
    const double m = Magnitude(block + at, kRecordingBits);
    peak = std::max(peak, m);
    squares += m * m;
  }
  const auto decibels = [](double fraction) { return fraction > 0.0 ? 20.0 * std::log10(fraction) : -HUGE_VAL; };
  const auto columns = [&](double fraction) {
    return static_cast<std::size_t>(std::lround((std::max(-60.0, decibels(fraction)) + 60.0) / 60.0 * kBar));
  };
  constexpr std::uint32_t kFrames = kBlockBytes / kRecordingFrameBytes;
  const std::size_t rms = columns(std::sqrt(squares / kFrames));
  const std::size_t top = std::max(rms, columns(peak));
  // Full scale is a step above the largest sample: "-0.0" would say nothing.
  const std::string db = peak <= 0.0 ? "-inf" : decibels(peak) > -0.05 ? "0.0" : Fixed(decibels(peak), 1);
  return line + std::string(rms, '#') + std::string(top - rms, '-') + std::string(kBar - top, ' ') + "] peak " +
         std::string(db.size() < 5 ? 5 - db.size() : 0, ' ') + db + " dB" + hint;
}

}  // namespace

int Record(const Arg& out, std::optional<long> limit) {
  if (!UsablePath(out)) return kExitUsage;
  if (!TakeStopEvents()) {
    PrintError("cannot take Ctrl-C and SIGTERM as events");
    return kExitOsError;
  }
  const std::int32_t started = SoundRecorderStart(out.path.c_str());
  const Clock::time_point start = Clock::now();
  if (started != TARNWICK_DONE) {
    (void)SoundRecorderStop();  // finishes the empty recording, releases the device
    return Report(started, true, out.text, out.text);
  }
  const bool sees_writes = WatchForWrites(out);
  std::FILE* file = OpenForReading(out);
  const bool terminal = StdoutIsTerminal();
  std::size_t shown = 0;  // the width of the status line
  std::uint32_t blocks = 0;
  Clock::time_point bounds[kBounds];  // the latest the device can have begun, per landing seen
  std::uint32_t landings = 0;
  for (bool redraw = terminal;; redraw = false) {
    const Clock::time_point now = Clock::now();
    if (const std::uint32_t landed = BlocksIn(file); landed > blocks) {
      blocks = landed;
      bounds[landings++ % kBounds] = now - seconds(blocks);
      redraw = terminal;
    }
    if (redraw) {
      const std::string line = MeterLine(file, blocks, limit, WatchingStdin());
      PrintText("\r" + line + std::string(shown > line.size() ? shown - line.size() : 0, ' '));
      (void)std::fflush(stdout);
      shown = std::max(shown, line.size());
    }
    int timeout = terminal && !sees_writes ? 250 : -1;
    if (limit) {
      const auto n = static_cast<std::uint32_t>(*limit);
      // Without a landing, Start is all there is to go by.
      const Clock::time_point began =
          landings == 0 ? start : *std::min_element(bounds, bounds + std::min(landings, kBounds));
      const Clock::time_point stop_at =
          blocks + 1 >= n ? began + seconds(n) - kLead : began + seconds(blocks + 1) + kStalled;
      if (blocks >= n || now >= stop_at) break;
      timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(stop_at - now).count());
      if (!sees_writes) timeout = std::min(timeout, 50);
    }
    if (WaitForStop(timeout)) break;
  }
  const std::int32_t recorded = SoundRecorderStop();
  if (file != nullptr) (void)std::fclose(file);
  ClearLine(shown);
  PrintText("recorded " + std::to_string(recorded) + (recorded == 1 ? " second" : " seconds") + " to " + out.text +
            "\n");
  return kExitOk;
}

}  // namespace tarnwick::tool
