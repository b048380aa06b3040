#include <gtest/gtest.h>

#include <cstring>

#include "wav_header.h"

namespace tarnwick {
namespace {

WAVHeader WithFormat(std::uint16_t channels, std::uint16_t bits, std::uint16_t block_align) {
  WAVHeader header{};
  header.bytes[22] = static_cast<std::uint8_t>(channels);
  header.bytes[23] = static_cast<std::uint8_t>(channels >> 8);
  header.bytes[32] = static_cast<std::uint8_t>(block_align);
  header.bytes[33] = static_cast<std::uint8_t>(block_align >> 8);
  header.bytes[34] = static_cast<std::uint8_t>(bits);
  header.bytes[35] = static_cast<std::uint8_t>(bits >> 8);
  return header;
}

TEST(WavHeader, BytesPerFrameIsChannelsTimesBitsOverEightTruncated) {
  struct Case {
    std::uint16_t channels, bits, block_align;
    std::int32_t expected;
  };
  const Case cases[] = {
      {2, 16, 4, 4},
      {1, 8, 1, 1},
      {1, 12, 2, 1},
      {2, 12, 3, 3},
      {1, 4, 1, 0},
      {0, 16, 0, 0},
      {1, 0, 0, 0},
      {1, 16, 4, 2},                  // block align is not consulted
      {6, 24, 18, 18},                // wider than 16 bytes
      {256, 256, 0, 8192},            // both high bytes matter
      {65535, 65535, 0, -16383},      // the 32-bit signed product wraps negative
      {32769, 65535, 0, -268431360},  // just past 2^31
      {32768, 65535, 0, 268431360},   // just below 2^31
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BytesPerFrame(WithFormat(c.channels, c.bits, c.block_align)), c.expected)
        << c.channels << " channels x " << c.bits << " bits";
  }
}

TEST(WavHeader, IsWaveFormLooksOnlyAtBytesEightToEleven) {
  WAVHeader header{};
  std::memcpy(header.bytes + 8, "WAVE", 4);
  EXPECT_TRUE(IsWaveForm(header)) << "no RIFF, no fmt, no data: still a WAVE form";
  std::memcpy(header.bytes + 8, "wave", 4);
  EXPECT_FALSE(IsWaveForm(header));
  std::memcpy(header.bytes + 8, "WAVF", 4);
  EXPECT_FALSE(IsWaveForm(header));
}

TEST(WavHeader, FilledPcmHeaderIsTheCanonicalLayout) {
  WAVHeader header{};
  FillPcmHeader(header, 1, 8000, 16, 32000);
  const std::uint8_t expected[44] = {'R', 'I', 'F', 'F', 0x24, 0x7D, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
                                     ' ', 16,  0,   0,   0,    1,    0,   1,   0,   0x40, 0x1F, 0,    0,   0x80, 0x3E,
                                     0,   0,   2,   0,   16,   0,    'd', 'a', 't', 'a',  0x00, 0x7D, 0,   0};
  EXPECT_EQ(std::memcmp(header.bytes, expected, 44), 0);
  EXPECT_EQ(ReadU32(header, 4), 32036u);
  FillPcmHeader(header, 1, 8000, 16, 0xFFFFFFF0u);
  EXPECT_EQ(ReadU32(header, 4), 0x14u) << "the RIFF size is kept to 32 bits";
}

}  // namespace
}  // namespace tarnwick
