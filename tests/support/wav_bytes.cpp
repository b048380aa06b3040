#include "wav_bytes.h"

#include "wav_header.h"

namespace tarnwick::test {

Bytes MakeWav(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate, const Bytes& data) {
  WAVHeader header{};
  FillPcmHeader(header, channels, rate, bits, static_cast<std::uint32_t>(data.size()));
  Bytes file(header.bytes, header.bytes + sizeof header.bytes);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

}  // namespace tarnwick::test
