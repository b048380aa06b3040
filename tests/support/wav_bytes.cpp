#include "wav_bytes.h"

#include <algorithm>
#include <iterator>

#include "wav_header.h"

namespace tarnwick::test {

Bytes MakeWav(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate, const Bytes& data) {
  WAVHeader header{};
  FillPcmHeader(header, channels, rate, bits, static_cast<std::uint32_t>(data.size()));
  Bytes file(sizeof header.bytes + data.size());
  std::copy(std::begin(header.bytes), std::end(header.bytes), file.begin());
  std::copy(data.begin(), data.end(), file.begin() + sizeof header.bytes);
  return file;
}

}  // namespace tarnwick::test
