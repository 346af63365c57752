// The MP3 check's decoding in this process against the converter's decoding command, float for
// float, on MP3s the converter made.
#include "platform/mp3_decoding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "media/system_services.h"
#include "platform/signals.h"
#include "tests/support/fake_system_services.h"
#include "tests/support/media_files.h"
#include "tests/support/temp_folder.h"

namespace {

using testing_support::makeTone;
using testing_support::TempFolder;

struct Decoded {
  bool whole = false;
  std::vector<float> samples;
};

Decoded decodedBy(media::SystemServices& system, const std::string& mp3) {
  Decoded decoded;
  decoded.whole = system.decodeMp3(mp3, [&](const float* frames, std::size_t count) {
    decoded.samples.insert(decoded.samples.end(), frames, frames + 2 * count);
  });
  return decoded;
}

platform::InProcessDecoding inProcess(const std::string& mp3) {
  return platform::decodeMp3InProcess(mp3, [](const float*, std::size_t) {}).kind;
}

// The fake's decoding is the base class's: the converter's command, read from its pipe.
TEST(Mp3Decoding, GivesTheCommandsFloatsBitForBit) {
  TempFolder folder;
  using platform::InProcessDecoding;
  // A joint-stereo constant rate with a tag, a variable rate whose header trims the encoder's
  // delay and padding, and a mono file, which the command spreads to two channels itself.
  ASSERT_TRUE(
      makeTone(folder / "constant.mp3", {"-b:a", "128k", "-metadata", "title=A"}, 1.3, 3001));
  ASSERT_TRUE(makeTone(folder / "variable.mp3", {"-q:a", "2"}, 1.3, 3001));
  ASSERT_TRUE(makeTone(folder / "mono.mp3", {"-ac", "1"}, 1.3, 3001));
  // Joined from two rates: the command resamples the rest to the first.
  ASSERT_TRUE(makeTone(folder / "lower.mp3", {"-ar", "32000"}, 1.3, 3001));
  testing_support::writeFile(folder / "joined.mp3",
                             testing_support::readFile(folder / "constant.mp3") +
                                 testing_support::readFile(folder / "lower.mp3"));
  const std::vector<std::pair<std::string, InProcessDecoding>> cases = {
      {"constant.mp3", InProcessDecoding::Whole},
      {"variable.mp3", InProcessDecoding::Whole},
      {"mono.mp3", InProcessDecoding::Unavailable},
      {"joined.mp3", InProcessDecoding::Changed},
  };
  for (const auto& [name, kind] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(inProcess(folder / name), kind);
    testing_support::FakeSystemServices command;
    const Decoded expected = decodedBy(command, folder / name);
    const Decoded got = decodedBy(media::realSystemServices(), folder / name);
    ASSERT_TRUE(expected.whole);
    EXPECT_TRUE(got.whole);
    ASSERT_GT(expected.samples.size(), 2u * 1000);
    // Equal as bits: a float compare would let -0 pass for 0.
    ASSERT_EQ(got.samples.size(), expected.samples.size());
    EXPECT_EQ(std::memcmp(got.samples.data(), expected.samples.data(),
                          got.samples.size() * sizeof(float)),
              0);
  }
}

TEST(Mp3Decoding, FailsOnWhatIsNoMp3AndOnAStop) {
  TempFolder folder;
  testing_support::writeFile(folder / "text.mp3", std::string(5000, 'x'));
  EXPECT_EQ(inProcess(folder / "text.mp3"), platform::InProcessDecoding::Failed);
  EXPECT_FALSE(decodedBy(media::realSystemServices(), folder / "text.mp3").whole);
  EXPECT_EQ(inProcess(folder / "missing.mp3"), platform::InProcessDecoding::Failed);

  ASSERT_TRUE(makeTone(folder / "tone.mp3"));
  platform::requestStop();
  const platform::InProcessDecoding stopped = inProcess(folder / "tone.mp3");
  platform::clearStopRequest();
  EXPECT_EQ(stopped, platform::InProcessDecoding::Failed);
  EXPECT_EQ(inProcess(folder / "tone.mp3"), platform::InProcessDecoding::Whole);
}

}  // namespace
