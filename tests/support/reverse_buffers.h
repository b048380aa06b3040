#pragma once
// Working buffers of chosen sizes for ReverseWavFileWithBuffers, each an
// allocation of its own, so that a sanitizer sees any access past one.

#include <cstdint>
#include <vector>

#include "wav_reverse.h"

namespace tarnwick::test {

class OwnedReverseBuffers {
 public:
  OwnedReverseBuffers(std::size_t block_bytes, std::size_t staging_bytes, std::uint64_t worker_from_bytes)
      : parts_{std::vector<std::uint8_t>(block_bytes), std::vector<std::uint8_t>(block_bytes),
               std::vector<std::uint8_t>(staging_bytes), std::vector<std::uint8_t>(staging_bytes)},
        buffers_{{parts_[0].data(), parts_[1].data()},
                 {parts_[2].data(), parts_[3].data()},
                 block_bytes,
                 staging_bytes,
                 worker_from_bytes} {}
  OwnedReverseBuffers(const OwnedReverseBuffers&) = delete;
  OwnedReverseBuffers& operator=(const OwnedReverseBuffers&) = delete;

  const ReverseBuffers& get() const { return buffers_; }

 private:
  std::vector<std::uint8_t> parts_[4];
  ReverseBuffers buffers_;
};

}  // namespace tarnwick::test
