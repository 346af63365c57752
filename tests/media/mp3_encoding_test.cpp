// The MP3 encoded in this process against the encoder's command, byte for byte, on WAVs the
// converter made.
#include "platform/mp3_encoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "media/system_services.h"
#include "platform/child_process.h"
#include "platform/signals.h"
#include "tests/support/fake_system_services.h"
#include "tests/support/small_file_system.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempFolder;

// Three seconds of loud stereo noise over a bass, whose peaks a raise drives past full scale.
bool makeWav(const std::string& path, const std::vector<std::string>& extraArguments = {}) {
  std::vector<std::string> arguments = {
      "ffmpeg",
      "-nostdin",
      "-y",
      "-loglevel",
      "error",
      "-f",
      "lavfi",
      "-i",
      "aevalsrc='0.6*sin(2*PI*55*t)+0.35*(random(0)-0.5)|0.5*sin(2*PI*55*t+1)+0.4*(random(1)-0.5)'"
      ":s=44100:d=3",
      "-flags",
      "bitexact",
      "-fflags",
      "+bitexact",
      "-c:a",
      "pcm_s16le"};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  arguments.push_back(path);
  return platform::childSucceeded(platform::runChildAndWait(arguments));
}

media::EncodingOutcome encodedBy(media::SystemServices& system, const media::Mp3Encoding& encoding,
                                 std::vector<double>* told = nullptr) {
  return system.encodeMp3(encoding, [told](double seconds) {
    if (told) told->push_back(seconds);
  });
}

platform::InProcessEncoding inProcess(const std::string& wav, const std::string& mp3,
                                      const std::string& filter = {},
                                      const std::function<void(double)>& onSeconds = {}) {
  media::Mp3Encoding encoding;
  encoding.wavPath = wav;
  encoding.mp3Path = mp3;
  platform::Mp3EncoderSettings settings = media::mp3EncoderSettings(encoding);
  settings.filter = filter;
  return platform::encodeMp3InProcess(settings, onSeconds);
}

// The 44-byte-header WAV at path cut to 10240 frames and half a frame, as a file that ends short
// may be: the WAV is read 4096 bytes at a time, so the half frame comes in a read of its own.
void cutWithinAFrame(const std::string& path) {
  constexpr std::uint32_t kDataBytes = 10 * 4096 + 2;
  std::string bytes = readFile(path).substr(0, 44 + kDataBytes);
  auto setSize = [&bytes](std::size_t at, std::uint32_t size) {
    std::memcpy(bytes.data() + at, &size, 4);
  };
  setSize(4, 36 + kDataBytes);
  setSize(40, kDataBytes);
  testing_support::writeFile(path, bytes);
}

// The fake's encoding is the base class's: the encoder's command.
TEST(Mp3Encoding, WritesTheCommandsBytes) {
  TempFolder folder;
  ASSERT_TRUE(makeWav(folder / "a_eq.wav"));
  ASSERT_TRUE(makeWav(folder / "cut.wav"));
  cutWithinAFrame(folder / "cut.wav");
  struct Case {
    const char* name;
    int kbps;
    std::optional<int> vbrQuality;
    double gainDb;
    const char* wav = "a_eq.wav";
    double seconds = 3.0;
  };
  // Lowered as for a true peak over the ceiling, raised toward a loudness target past full scale,
  // the least changes there are and the next; the rates a user may choose.
  const std::vector<Case> cases = {
      {"plain", 128, {}, 0.0},
      {"lowered", 128, {}, -1.63},
      {"raised", 128, {}, 3.27},
      {"least", 192, {}, -0.01},
      {"least raise", 128, {}, 0.01},
      {"next to least", 128, {}, -0.02},
      {"highest", 320, {}, 0.0},
      {"variable", 0, 2, 0.0},
      {"variable lowered", 0, 0, -0.58},
      {"cut", 128, {}, 0.0, "cut.wav", 10240.0 / 44100},
      {"cut lowered", 128, {}, -1.63, "cut.wav", 10240.0 / 44100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    media::Mp3Encoding encoding;
    encoding.wavPath = folder / c.wav;
    encoding.rate.kbps = c.kbps;
    encoding.rate.vbrQuality = c.vbrQuality;
    encoding.gainDb = c.gainDb;
    encoding.mp3Path = folder / "command.mp3";
    fs::remove(encoding.mp3Path);
    testing_support::FakeSystemServices command;
    ASSERT_EQ(encodedBy(command, encoding), media::EncodingOutcome::Written);
    ASSERT_EQ(command.calls, std::vector<std::string>{"run FFMPEG"});
    encoding.mp3Path = folder / "here.mp3";
    // Twice over the same name: the second replaces the first.
    for (int time = 0; time < 2; ++time) {
      std::vector<double> told;
      ASSERT_EQ(encodedBy(media::realSystemServices(), encoding, &told),
                media::EncodingOutcome::Written);
      ASSERT_FALSE(told.empty());
      EXPECT_DOUBLE_EQ(told.back(), c.seconds);
      EXPECT_TRUE(readFile(folder / "here.mp3") == readFile(folder / "command.mp3"));
    }
  }
}

TEST(Mp3Encoding, LeavesWhatItCannotEncodeAsTheCommandDoesToTheCommand) {
  TempFolder folder;
  ASSERT_TRUE(makeWav(folder / "tagged.wav", {"-metadata", "title=A"}));
  ASSERT_TRUE(makeWav(folder / "mono.wav", {"-ac", "1"}));
  ASSERT_TRUE(makeWav(folder / "rate.wav", {"-ar", "48000"}));
  ASSERT_TRUE(makeWav(folder / "float.wav", {"-c:a", "pcm_f32le"}));
  testing_support::writeFile(folder / "text.wav", std::string(5000, 'x'));
  for (const char* name :
       {"tagged.wav", "mono.wav", "rate.wav", "float.wav", "text.wav", "missing.wav"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(inProcess(folder / name, folder / "out.mp3"),
              platform::InProcessEncoding::Unavailable);
    EXPECT_FALSE(fs::exists(folder / "out.mp3"));
  }
  ASSERT_TRUE(makeWav(folder / "a.wav"));
  for (const char* filter : {"nosuchfilter=1", "volume=1+1", "volume=-1.00dBx"}) {
    EXPECT_EQ(inProcess(folder / "a.wav", folder / "out.mp3", filter),
              platform::InProcessEncoding::Unavailable);
  }
  EXPECT_EQ(inProcess(folder / "a.wav", (folder.path() / "no folder" / "out.mp3").string()),
            platform::InProcessEncoding::Failed);

  // A stop asked before, and one asked while the encoding runs: it ends within the second of
  // audio that follows.
  for (const char* filter : {"", "volume=-1.00dB"}) {
    SCOPED_TRACE(filter);
    platform::requestStop();
    EXPECT_EQ(inProcess(folder / "a.wav", folder / "out.mp3", filter),
              platform::InProcessEncoding::Stopped);
    platform::clearStopRequest();
    std::vector<double> told;
    const platform::InProcessEncoding stopped =
        inProcess(folder / "a.wav", folder / "out.mp3", filter, [&told](double seconds) {
          told.push_back(seconds);
          platform::requestStop();
        });
    platform::clearStopRequest();
    EXPECT_EQ(stopped, platform::InProcessEncoding::Stopped);
    EXPECT_EQ(told.size(), 1u);
  }
}

TEST(Mp3Encoding, FailsOnAFullDisk) {
  // Room for two thirds of the MP3.
  testing_support::SmallFileSystem disk(32 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "mounting a small file system needs root";
  TempFolder folder;
  ASSERT_TRUE(makeWav(folder / "a.wav"));
  for (const char* filter : {"", "volume=-1.00dB"}) {
    SCOPED_TRACE(filter);
    EXPECT_EQ(inProcess(folder / "a.wav", disk / "a.mp3", filter),
              platform::InProcessEncoding::Failed);
    fs::remove(disk / "a.mp3");
  }
}

}  // namespace
