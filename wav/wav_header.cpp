#include "wav_header.h"

namespace tarnwick {
namespace {

void WriteTag(WAVHeader& header, std::uint32_t offset, const char (&tag)[5]) {
  for (std::uint32_t i = 0; i < 4; ++i) header.bytes[offset + i] = static_cast<std::uint8_t>(tag[i]);
}

void WriteU16(WAVHeader& header, std::uint32_t offset, std::uint16_t value) {
  header.bytes[offset] = static_cast<std::uint8_t>(value);
  header.bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void WriteU32(WAVHeader& header, std::uint32_t offset, std::uint32_t value) {
  for (std::uint32_t i = 0; i < 4; ++i) header.bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::uint16_t ReadU16(const WAVHeader& header, std::uint32_t offset) {
  return static_cast<std::uint16_t>(header.bytes[offset] | (header.bytes[offset + 1] << 8));
}

std::uint32_t ReadU32(const WAVHeader& header, std::uint32_t offset) {
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(header.bytes[offset + i]) << (8 * i);
  return value;
}

bool HasTag(const WAVHeader& header, std::uint32_t offset, const char (&tag)[5]) {
  for (std::uint32_t i = 0; i < 4; ++i) {
    if (header.bytes[offset + i] != static_cast<std::uint8_t>(tag[i])) return false;
  }
  return true;
}

bool IsWaveForm(const WAVHeader& header) { return HasTag(header, kWaveTagAt, kWaveTag); }

std::int32_t BytesPerFrame(const WAVHeader& header) {
  const std::uint32_t channels = ReadU16(header, kChannelsAt);
  const std::uint32_t bits = ReadU16(header, kBitsPerSampleAt);
  // The product is taken as a signed 32-bit number: 2^31 and above wrap to
  // negative, which the callers refuse like any other frame size below 1.
  const auto product = static_cast<std::int32_t>(channels * bits);
  return product / 8;
}

void FillPcmHeader(WAVHeader& header, std::uint16_t channels, std::uint32_t samples_per_second,
                   std::uint16_t bits_per_sample, std::uint32_t data_bytes) {
  const auto block_align = static_cast<std::uint16_t>(std::uint32_t{channels} * bits_per_sample / 8);
  WriteTag(header, kRiffTagAt, kRiffTag);
  WriteU32(header, kRiffSizeAt, data_bytes + (kWavHeaderBytes - kWaveTagAt));
  WriteTag(header, kWaveTagAt, kWaveTag);
  WriteTag(header, kFormatTagAt, kFormatTag);
  WriteU32(header, kFormatSizeAt, kFormatChunkBytes);
  WriteU16(header, kFormatCodeAt, 1);
  WriteU16(header, kChannelsAt, channels);
  WriteU32(header, kSampleRateAt, samples_per_second);
  WriteU32(header, kByteRateAt, samples_per_second * block_align);
  WriteU16(header, kBlockAlignAt, block_align);
  WriteU16(header, kBitsPerSampleAt, bits_per_sample);
  WriteTag(header, kDataTagAt, kDataTag);
  WriteU32(header, kDataSizeAt, data_bytes);
}

}  // namespace tarnwick
