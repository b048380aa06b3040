#include "cli_files.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarnwick::clitest {
namespace {

void Put(Bytes& bytes, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutTag(Bytes& bytes, const char* tag) { bytes.insert(bytes.end(), tag, tag + 4); }

}  // namespace

ScratchDir::ScratchDir() {
  char name[] = "/tmp/tarnwick-cli-test-XXXXXX";
  if (::mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = name;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes CanonicalWav(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate, const Bytes& data) {
  const std::uint32_t block = channels * bits / 8u;
  const auto size = static_cast<std::uint32_t>(data.size());
  Bytes wav;
  PutTag(wav, "RIFF");
  Put(wav, size + 36, 4);
  PutTag(wav, "WAVE");
  PutTag(wav, "fmt ");
  Put(wav, 16, 4);
  Put(wav, 1, 2);
  Put(wav, channels, 2);
  Put(wav, rate, 4);
  Put(wav, rate * block, 4);
  Put(wav, block, 2);
  Put(wav, bits, 2);
  PutTag(wav, "data");
  Put(wav, size, 4);
  wav.insert(wav.end(), data.begin(), data.end());
  return wav;
}

Bytes ExpectedReversal(const Bytes& file, std::size_t frame_bytes) {
  Bytes expected(file.begin(), file.begin() + 44);
  for (std::size_t end = file.size(); end >= 44 + frame_bytes; end -= frame_bytes) {
    expected.insert(expected.end(), file.begin() + static_cast<std::ptrdiff_t>(end - frame_bytes),
                    file.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return expected;
}

Bytes PatternBytes(std::size_t count, std::uint32_t seed) {
  Bytes bytes(count);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

}  // namespace tarnwick::clitest
