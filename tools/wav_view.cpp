#include "wav_view.h"

#include <cstring>

namespace tarnwick::cli {
namespace {

// A four-byte chunk tag as text, with anything unprintable shown as '?'.
std::string Tag(const std::uint8_t* bytes) {
  std::string tag;
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t c = bytes[i];
    tag += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  return tag;
}

bool HasTag(const std::uint8_t* bytes, const char* tag) { return std::memcmp(bytes, tag, 4) == 0; }

}  // namespace

std::uint16_t WavView::U16(std::uint32_t offset) const {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t WavView::U32(std::uint32_t offset) const {
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
  return value;
}

std::uint32_t WavView::FrameBytes() const {
  const std::uint32_t product = static_cast<std::uint32_t>(Channels()) * BitsPerSample();
  return product >= 0x80000000u ? 0 : product / 8;
}

std::string WavView::LayoutProblem() const {
  if (!HasTag(bytes + 12, "fmt ")) return "byte 12 holds \"" + Tag(bytes + 12) + "\", not \"fmt \"";
  if (U32(16) != 16) return "its format chunk is " + std::to_string(U32(16)) + " bytes, not 16";
  if (!HasTag(bytes + 36, "data")) return "byte 36 holds \"" + Tag(bytes + 36) + "\", not \"data\"";
  return {};
}

HeaderRead ReadWavView(std::FILE* file, WavView* view) {
  const std::size_t got = std::fread(view->bytes, 1, sizeof view->bytes, file);
  if (got < sizeof view->bytes) return std::ferror(file) ? HeaderRead::kUnreadable : HeaderRead::kNotWave;
  return HasTag(view->bytes + 8, "WAVE") ? HeaderRead::kOk : HeaderRead::kNotWave;
}

}  // namespace tarnwick::cli
