#include "reference_reverse.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace tarnwick::test {

std::int32_t ReferenceReverse(const std::string& input, const std::string& output) {
  std::FILE* in = std::fopen(input.c_str(), "rb");
  if (in == nullptr) return 1;
  unsigned char header[44] = {};
  const std::size_t got = std::fread(header, 1, 44, in);
  if (got < 44 || std::memcmp(header + 8, "WAVE", 4) != 0) {
    std::fclose(in);
    return 4;
  }
  const unsigned channels = header[22] | (static_cast<unsigned>(header[23]) << 8);
  const unsigned bits = header[34] | (static_cast<unsigned>(header[35]) << 8);
  const auto frame = static_cast<std::int32_t>(channels * bits) / 8;
  if (frame <= 0 || frame > kReferenceMaxFrame) {
    std::fclose(in);
    return 1;
  }
  std::FILE* out = std::fopen(output.c_str(), "wb");
  if (out == nullptr) {
    std::fclose(in);
    return 2;
  }
  std::fwrite(header, 1, 44, out);

  std::vector<unsigned char> frame_buffer(static_cast<std::size_t>(frame));
  std::int32_t result = 999;
  if (fseeko(in, frame, SEEK_END) != 0) {
    result = 1;
  } else if (ftello(in) - frame > 44) {
    do {
      if (fseeko(in, -2 * static_cast<off_t>(frame), SEEK_CUR) != 0) {
        result = 1;
        break;
      }
      std::fread(frame_buffer.data(), 1, frame_buffer.size(), in);
      std::fwrite(frame_buffer.data(), 1, frame_buffer.size(), out);
    } while (ftello(in) - frame > 44);
  }
  std::fclose(in);
  std::fclose(out);
  return result;
}

}  // namespace tarnwick::test
