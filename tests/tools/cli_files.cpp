#include "cli_files.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarnwick::clitest {
namespace {

// Little-endian field `value` of `width` bytes at `offset`.
void Put(Bytes& bytes, std::size_t offset, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) {
    bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

void PutTag(Bytes& bytes, std::size_t offset, const char* tag) {
  for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(tag[i]);
}

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
  Bytes wav(44 + data.size());
  PutTag(wav, 0, "RIFF");
  Put(wav, 4, size + 36, 4);
  PutTag(wav, 8, "WAVE");
  PutTag(wav, 12, "fmt ");
  Put(wav, 16, 16, 4);
  Put(wav, 20, 1, 2);
  Put(wav, 22, channels, 2);
  Put(wav, 24, rate, 4);
  Put(wav, 28, rate * block, 4);
  Put(wav, 32, block, 2);
  Put(wav, 34, bits, 2);
  PutTag(wav, 36, "data");
  Put(wav, 40, size, 4);
  std::copy(data.begin(), data.end(), wav.begin() + 44);
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
