// tarnwick reverse IN OUT: one call of WAVReverse, after a warning for files
// whose samples do not start where the library takes them to.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>

#include "tarnwick.h"
#include "tool.h"
#include "wav_header.h"

namespace tarnwick::tool {
namespace {

std::uint64_t SizeOf(const Arg& file) {
  std::FILE* stream = OpenForReading(file);
  if (stream == nullptr) return 0;
  const std::uint64_t size = RegularFileSize(stream).value_or(0);
  (void)std::fclose(stream);
  return size;
}

// Everything after the header is reversed as samples, so chunks the library
// does not know (LIST, fact, an extensible format) are scrambled into the
// sound, which the result cannot tell. Files it refuses get no warning.
void WarnAboutLayout(const Arg& in) {
  WAVHeader h{};
  std::FILE* file = OpenForReading(in);
  const bool whole = file != nullptr && std::fread(h.bytes, 1, sizeof h.bytes, file) == sizeof h.bytes;
  if (file != nullptr) (void)std::fclose(file);
  if (!whole || !IsWaveForm(h) || BytesPerFrame(h) <= 0) return;
  const auto holds = [&](std::uint32_t at, const char* tag) {
    std::string seen(reinterpret_cast<const char*>(h.bytes + at), 4);
    for (char& c : seen) c = c >= 0x20 && c < 0x7F ? c : '?';
    return "extra chunks before its samples (byte " + std::to_string(at) + " holds \"" + seen + "\", not \"" + tag +
           "\")";
  };
  const std::uint32_t format_bytes = ReadU32(h, kFormatSizeAt);
  const std::uint32_t declared = ReadU32(h, kDataSizeAt);
  const std::uint64_t size = SizeOf(in);
  std::string problem;
  if (!HasTag(h, kFormatTagAt, kFormatTag)) {
    problem = holds(kFormatTagAt, kFormatTag);
  } else if (format_bytes != kFormatChunkBytes) {
    problem = "extra chunks before its samples (its format chunk is " + std::to_string(format_bytes) + " bytes, not " +
              std::to_string(kFormatChunkBytes) + ")";
  } else if (!HasTag(h, kDataTagAt, kDataTag)) {
    problem = holds(kDataTagAt, kDataTag);
  } else if (declared != 0 && declared != 0xFFFFFFFFu && size > kWavHeaderBytes + std::uint64_t{declared}) {
    // Chunks after the data; a size of 0 or ~0 is what streaming writers leave.
    problem = std::to_string(size - kWavHeaderBytes - declared) + " bytes after its data chunk";
  }
  if (!problem.empty()) {
    PrintError("warning: '" + in.text + "' has " + problem + "; they will be reversed as if they were samples");
  }
}

}  // namespace

int Reverse(const Arg& in, const Arg& out) {
  if (!UsablePath(in) || !UsablePath(out)) return kExitUsage;
  WarnAboutLayout(in);
  const auto call = [&] { return WAVReverse(in.path.c_str(), out.path.c_str()); };
  if (!StdoutIsTerminal()) return Report(call(), false, in.text, out.text);

  // The library reports nothing until it returns: on a terminal it runs on a
  // second thread while this one shows how much of OUT is written, once it
  // has taken longer than a second (the tests shorten that).
  const char* delay = std::getenv("TARNWICK_PROGRESS_DELAY_MS");  // NOLINT(concurrency-mt-unsafe): one thread yet
  const std::uint64_t total = SizeOf(in);
  std::future<std::int32_t> result = std::async(std::launch::async, call);
  std::size_t shown = 0;
  auto wait = std::chrono::milliseconds(delay != nullptr ? std::strtol(delay, nullptr, 10) : 1000);
  while (result.wait_for(wait) != std::future_status::ready) {
    wait = std::chrono::milliseconds(200);
    const std::uint64_t written = SizeOf(out);
    const double share = total == 0 ? 1.0 : std::min(1.0, static_cast<double>(written) / static_cast<double>(total));
    const std::string line = "\rreversing into " + out.text + ": " + Fixed(share * 100.0, 0) + " % (" +
                             Fixed(static_cast<double>(written) / 1e6, 0) + " of " +
                             Fixed(static_cast<double>(total) / 1e6, 0) + " MB) ";
    PrintText(line);
    (void)std::fflush(stdout);
    shown = std::max(shown, line.size());
  }
  ClearLine(shown);
  return Report(result.get(), false, in.text, out.text);
}

}  // namespace tarnwick::tool
