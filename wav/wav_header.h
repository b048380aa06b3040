#pragma once
// The canonical 44-byte RIFF/WAVE header: one 16-byte "fmt " chunk followed
// directly by the "data" chunk. The library assumes sample data begins at byte
// 44 of every WAV file and never looks for the chunks themselves.

#include <cstdint>

namespace tarnwick {

inline constexpr std::uint32_t kWavHeaderBytes = 44;

// Where each field of the header sits. Multi-byte fields are little-endian.
inline constexpr std::uint32_t kRiffTagAt = 0;
inline constexpr std::uint32_t kRiffSizeAt = 4;  // the bytes after this field: data size + 36
inline constexpr std::uint32_t kWaveTagAt = 8;
inline constexpr std::uint32_t kFormatTagAt = 12;
inline constexpr std::uint32_t kFormatSizeAt = 16;
inline constexpr std::uint32_t kFormatCodeAt = 20;  // 1: integer PCM
inline constexpr std::uint32_t kChannelsAt = 22;
inline constexpr std::uint32_t kSampleRateAt = 24;
inline constexpr std::uint32_t kByteRateAt = 28;
inline constexpr std::uint32_t kBlockAlignAt = 32;
inline constexpr std::uint32_t kBitsPerSampleAt = 34;
inline constexpr std::uint32_t kDataTagAt = 36;
inline constexpr std::uint32_t kDataSizeAt = 40;

// The chunk tags, compared and written as bytes, and the format chunk's size.
inline constexpr char kRiffTag[] = "RIFF";
inline constexpr char kWaveTag[] = "WAVE";
inline constexpr char kFormatTag[] = "fmt ";
inline constexpr char kDataTag[] = "data";
inline constexpr std::uint32_t kFormatChunkBytes = 16;

// The most sample bytes a header can state: past this its RIFF size, the data
// size + 36, would wrap.
inline constexpr std::uint32_t kMaxDataBytes = 0xFFFFFFFFu - (kWavHeaderBytes - kWaveTagAt);

// Raw bytes, exactly as stored in the file. Multi-byte fields are
// little-endian and read and written byte by byte, so the host's byte order
// never matters.
struct WAVHeader {
  std::uint8_t bytes[kWavHeaderBytes];
};
static_assert(sizeof(WAVHeader) == 44, "WAVHeader is the 44 bytes of the file");

// True exactly when bytes 8..11 are "WAVE" (upper case). Nothing else is
// examined.
bool IsWaveForm(const WAVHeader& header);

// Channels times bits per sample, as a 32-bit signed product, divided by 8
// with truncation: 0 or negative for nonsense headers (0 channels, under 8
// bits in all, or a product of 2^31 or more). The block-align field is not
// consulted.
std::int32_t BytesPerFrame(const WAVHeader& header);

// Fills every field for integer PCM with `data_bytes` of samples; the RIFF
// size is data_bytes + 36, kept to 32 bits as the field is.
void FillPcmHeader(WAVHeader& header, std::uint16_t channels, std::uint32_t samples_per_second,
                   std::uint16_t bits_per_sample, std::uint32_t data_bytes);

// Little-endian field access at a byte offset of the header.
std::uint16_t ReadU16(const WAVHeader& header, std::uint32_t offset);
std::uint32_t ReadU32(const WAVHeader& header, std::uint32_t offset);

// Whether the four bytes at `offset` are `tag`.
bool HasTag(const WAVHeader& header, std::uint32_t offset, const char (&tag)[5]);

}  // namespace tarnwick
