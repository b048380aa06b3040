#pragma once
// The capture tests' surroundings: the virtual audio device that
// tests/support/virtual_audio.sh runs, the expected samples, and ways to look
// at what the process holds and prints.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "temp_dir.h"  // OpenDescriptorCount
#include "virtual_ramp.h"

namespace tarnwick::test {

// The directory the CTest fixture started the daemon in (compiled in).
const std::string& VirtualAudioDir();

// Points ALSA at the virtual device's configuration. The global test
// environment calls it before every test, so no test depends on the shell.
void UseVirtualAudio();

// Points ALSA at a configuration of the test's own, written to a private file,
// until the guard goes; then back at the virtual device.
class AlsaConfigOverride {
 public:
  explicit AlsaConfigOverride(const std::string& text);
  ~AlsaConfigOverride();
  AlsaConfigOverride(const AlsaConfigOverride&) = delete;
  AlsaConfigOverride& operator=(const AlsaConfigOverride&) = delete;

 private:
  std::string path_;
};

// The samples after a WAV file's 44-byte header are the device's ramp from its
// first sample, without a sample lost or repeated, through every whole block
// but the last, then nothing but the silence that pads a part-filled block.
void ExpectRampThenSilence(const Bytes& file);

// An ALSA configuration whose default capture device is the tests' own
// hardware-like one (paced_capture_plugin.c) with `options`.
std::string PacedDevice(const std::string& options);

// Runs `action` with stderr (descriptor 2) sent to a file; returns what landed there.
std::string StderrOf(const std::function<void()>& action);

}  // namespace tarnwick::test
