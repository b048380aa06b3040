#include "virtual_audio_env.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tarnwick::test {
namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class VirtualAudio : public ::testing::Environment {
 public:
  void SetUp() override {
    struct stat socket_stat {};
    ASSERT_EQ(::stat((VirtualAudioDir() + "/native").c_str(), &socket_stat), 0)
        << "no virtual audio daemon: run these tests through ctest, or start it with "
           "tests/support/virtual_audio.sh start "
        << VirtualAudioDir();
  }
};

[[maybe_unused]] ::testing::Environment* const kVirtualAudio = ::testing::AddGlobalTestEnvironment(new VirtualAudio);

// Every test starts on the virtual device, whatever the shell had.
class UseVirtualAudioForEachTest : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& /*test*/) override { UseVirtualAudio(); }
};

[[maybe_unused]] const bool kListening = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new UseVirtualAudioForEachTest);
  return true;
}();

}  // namespace

void ExpectRampThenSilence(const Bytes& file) {
  constexpr std::size_t kSamplesPerBlock = 8000;
  const std::size_t samples = file.size() < 44 ? 0 : (file.size() - 44) / 2;
  const auto sample_at = [&](std::size_t i) {
    return static_cast<std::int16_t>(file[44 + 2 * i] | (file[45 + 2 * i] << 8));
  };
  std::size_t i = 0;
  while (i < samples && sample_at(i) == RampSample(i)) ++i;
  EXPECT_GE(i + kSamplesPerBlock, samples) << "the device's samples stop before the last block";
  while (i < samples && sample_at(i) == 0) ++i;
  EXPECT_EQ(i, samples) << "sample " << i << " is neither the device's nor padding";
}

const std::string& VirtualAudioDir() {
  static const std::string dir = TARNWICK_VIRTUAL_AUDIO_DIR;
  return dir;
}

// The environment changes only between tests, while no device is open and no
// thread of the layer or of ALSA's plugins runs.
// NOLINTBEGIN(concurrency-mt-unsafe)
void UseVirtualAudio() {
  ::setenv("ALSA_CONFIG_PATH", (VirtualAudioDir() + "/asound.conf").c_str(), 1);
  // The configuration names the daemon's socket itself; these only keep a
  // developer's own session settings away from the client library.
  ::setenv("PULSE_SERVER", ("unix:" + VirtualAudioDir() + "/native").c_str(), 1);
  ::setenv("PULSE_RUNTIME_PATH", (VirtualAudioDir() + "/runtime").c_str(), 1);
}

AlsaConfigOverride::AlsaConfigOverride(const std::string& text) {
  char name[] = "/tmp/tarnwick-alsa-XXXXXX";
  int fd = ::mkstemp(name);
  if (fd >= 0) {
    path_ = name;
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  }
  EXPECT_FALSE(path_.empty()) << "cannot write a private ALSA configuration";
  ::setenv("ALSA_CONFIG_PATH", path_.c_str(), 1);
}
// NOLINTEND(concurrency-mt-unsafe)

AlsaConfigOverride::~AlsaConfigOverride() {
  if (!path_.empty()) ::unlink(path_.c_str());
  UseVirtualAudio();
}

std::string PacedDevice(const std::string& options) {
  return std::string("pcm_type.paced_test { lib \"") + TARNWICK_PACED_PLUGIN + "\" }\n" +
         "pcm.!default { type paced_test " + options + " }\n";
}

std::string StderrOf(const std::function<void()>& action) {
  char name[] = "/tmp/tarnwick-stderr-XXXXXX";
  int capture = ::mkstemp(name);
  if (capture < 0) {
    ADD_FAILURE() << "cannot capture stderr";
    action();
    return {};
  }
  (void)std::fflush(stderr);
  int saved = ::dup(2);
  ::dup2(capture, 2);
  action();
  (void)std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  ::close(capture);
  std::string printed = ReadWhole(name);
  ::unlink(name);
  return printed;
}

}  // namespace tarnwick::test
