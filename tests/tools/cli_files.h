#pragma once
// Files for the command-line tests: expected reversals and sample patterns.

#include <cstdint>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "wav_bytes.h"

namespace tarnwick::clitest {

// Scratch directories, whole files and canonical WAV files are the shared
// test support's.
using test::Bytes;
using test::MakeWav;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// What a reversal of `file` must produce: its first 44 bytes, then everything
// after them taken as frames of `frame_bytes` in reverse order. The length
// after the header must be a whole number of frames.
Bytes ExpectedReversal(const Bytes& file, std::size_t frame_bytes);

// `count` bytes of a fixed pseudo-random pattern, different for each seed.
Bytes PatternBytes(std::size_t count, std::uint32_t seed);

}  // namespace tarnwick::clitest
