// A piece of generated music, much too bass-heavy and dull, through the whole headless command:
// the result must be a clean 44100 Hz stereo WAV of the same length whose middle and high
// bands were brought up toward the level of the bass.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

const std::string kCommand = std::string(SONBALANCER_BINARY_DIR) + "/bin/sonbalancer-cli";
constexpr double kSeconds = 8.0;

// A loud bass line, a quiet chord in the middle and faint hi-hat ticks, slightly different
// in each channel.
const char* kMusic =
    "aevalsrc="
    "'0.3*sin(2*PI*55*t)*(0.7+0.3*sin(2*PI*2*t))"
    "+0.04*sin(2*PI*440*t)+0.03*sin(2*PI*554.37*t)+0.03*sin(2*PI*659.26*t)"
    "+0.012*sin(2*PI*7040*t)*lt(mod(t,0.25),0.04)"
    "|0.3*sin(2*PI*55*t+0.3)*(0.7+0.3*sin(2*PI*2*t))"
    "+0.035*sin(2*PI*440*t)+0.035*sin(2*PI*554.37*t)+0.03*sin(2*PI*659.26*t)"
    "+0.010*sin(2*PI*7040*t)*lt(mod(t+0.125,0.25),0.04)'"
    ":s=48000:d=8";

bool makeMusic(const std::string& path, const std::vector<std::string>& encoding) {
  std::vector<std::string> arguments = {"ffmpeg", "-nostdin", "-y", "-loglevel", "error",
                                        "-f",     "lavfi",    "-i", kMusic};
  arguments.insert(arguments.end(), encoding.begin(), encoding.end());
  arguments.push_back(path);
  const platform::ChildOutcome outcome = platform::runChildAndWait(arguments);
  return outcome.started && outcome.exitStatusRead && outcome.exitStatus == 0;
}

struct Wav {
  std::uint16_t format = 0, channels = 0, bits = 0;
  std::uint32_t rate = 0, riffSize = 0, dataSize = 0;
  std::vector<std::int16_t> left, right;
};

std::uint32_t le32(const std::string& b, std::size_t at) {
  return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
         std::uint32_t(std::uint8_t(b[at + 2])) << 16 |
         std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}
std::uint16_t le16(const std::string& b, std::size_t at) {
  return std::uint16_t(std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8);
}

// Reads a result, which always has the plain 44-byte header.
Wav readResult(const std::string& path) {
  const std::string bytes = readFile(path);
  Wav wav;
  if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0) return wav;
  wav.riffSize = le32(bytes, 4);
  wav.format = le16(bytes, 20);
  wav.channels = le16(bytes, 22);
  wav.rate = le32(bytes, 24);
  wav.bits = le16(bytes, 34);
  wav.dataSize = le32(bytes, 40);
  for (std::size_t at = 44; at + 4 <= bytes.size(); at += 4) {
    wav.left.push_back(static_cast<std::int16_t>(le16(bytes, at)));
    wav.right.push_back(static_cast<std::int16_t>(le16(bytes, at + 2)));
  }
  return wav;
}

// Amplitude of one frequency in a stretch of samples (a single-bin Fourier transform).
double amplitudeAt(const std::vector<std::int16_t>& samples, double frequencyHz, double rateHz) {
  double re = 0, im = 0;
  // Skip the first half second: the start is faded in and the filters settle there.
  const std::size_t first = static_cast<std::size_t>(rateHz / 2);
  for (std::size_t i = first; i < samples.size(); ++i) {
    const double phase = 2 * std::numbers::pi * frequencyHz * static_cast<double>(i) / rateHz;
    re += samples[i] * std::cos(phase);
    im += samples[i] * std::sin(phase);
  }
  return 2 * std::hypot(re, im) / static_cast<double>(samples.size() - first);
}

struct Balance {
  double bass, chord, hiss;
};

Balance balanceOf(const std::vector<std::int16_t>& samples, double rateHz) {
  return {amplitudeAt(samples, 55, rateHz), amplitudeAt(samples, 440, rateHz),
          amplitudeAt(samples, 7040, rateHz)};
}

int runCommand(const std::string& arguments, const fs::path& workFolder) {
  const std::string line = "cd '" + workFolder.string() + "' && '" + kCommand + "' " + arguments +
                           " >/dev/null 2>&1 </dev/null";
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void expectCleanResult(const Wav& result, std::size_t expectedFrames) {
  EXPECT_EQ(result.format, 1);
  EXPECT_EQ(result.channels, 2);
  EXPECT_EQ(result.rate, 44100u);
  EXPECT_EQ(result.bits, 16);
  EXPECT_EQ(result.dataSize, result.left.size() * 4);
  EXPECT_EQ(result.riffSize, result.dataSize + 36);
  // Same length within the converter's padding and the rate conversion's rounding (20 ms).
  EXPECT_NEAR(static_cast<double>(result.left.size()), static_cast<double>(expectedFrames), 882);
  for (const auto* channel : {&result.left, &result.right}) {
    for (std::int16_t value : *channel) {
      ASSERT_LE(value, 32766);
      ASSERT_GE(value, -32766);
    }
  }
}

TEST(MusicEndToEnd, DullBassHeavyTracksComeOutBalancedAndClean) {
  TempFolder root;
  const std::string music = root / "Album";
  fs::create_directory(music);
  ASSERT_TRUE(makeMusic(music + "/dull.mp3", {"-ar", "44100", "-b:a", "320k"}));
  ASSERT_TRUE(makeMusic(music + "/dull48k.wav", {"-acodec", "pcm_s16le"}));
  // The source as decoded, for the balance before processing.
  ASSERT_TRUE(makeMusic(root / "reference.wav", {"-ar", "44100", "-acodec", "pcm_s16le"}));

  ASSERT_EQ(runCommand("--log --no-mp3 '" + music + "'", root.path()), 0);

  const std::string log = readFile(root / "sonbalancer-log.txt");
  // A WAV far from 44100 Hz is resampled by the converter, never by dropping frames.
  EXPECT_NE(log.find("Type: wav - Step 1: Multimedia file to be pre-processed by ffmpeg...\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("WAV Saved as " + music + "/sonbalanced/dull_eq.wav\n\n"), std::string::npos);
  EXPECT_NE(log.find("WAV Saved as " + music + "/sonbalanced/dull48k_eq.wav\n\n"),
            std::string::npos);

  const Wav reference = readResult(root / "reference.wav");
  ASSERT_FALSE(reference.left.empty());
  const std::size_t frames = static_cast<std::size_t>(kSeconds * 44100);
  for (const char* name : {"dull_eq.wav", "dull48k_eq.wav"}) {
    SCOPED_TRACE(name);
    const Wav result = readResult(music + "/sonbalanced/" + name);
    expectCleanResult(result, frames);
    for (int channel = 0; channel < 2; ++channel) {
      const auto& before = channel == 0 ? reference.left : reference.right;
      const auto& after = channel == 0 ? result.left : result.right;
      const Balance in = balanceOf(before, 44100);
      const Balance out = balanceOf(after, 44100);
      // The chord and the ticks were far below the bass; they now stand closer to it (the
      // limiter holds the chord back where it rides on the bass peaks).
      EXPECT_GT(out.chord / out.bass, 1.15 * in.chord / in.bass);
      EXPECT_GT(out.hiss / out.bass, 5 * in.hiss / in.bass);
      // The level as a whole was raised, not only the balance moved.
      EXPECT_GT(out.bass, 1.4 * in.bass);
      EXPECT_GT(out.chord, 2 * in.chord);
    }
  }
  EXPECT_FALSE(fs::exists(music + "/sonbalanced/TMPOUT.WAV"));
  EXPECT_FALSE(fs::exists(music + "/sonbalanced/dull.mp3"));
}

// Power of what is left of samples once the one frequency is taken out, relative to that
// frequency's power.
double residueRelativeTo(const std::vector<std::int16_t>& samples, double frequencyHz) {
  const std::size_t first = 22050;
  double power = 0;
  for (std::size_t i = first; i < samples.size(); ++i) power += double(samples[i]) * samples[i];
  power /= static_cast<double>(samples.size() - first);
  const double amplitude = amplitudeAt(samples, frequencyHz, 44100);
  const double tone = amplitude * amplitude / 2;
  return (power - tone) / tone;
}

TEST(MusicEndToEnd, ChannelsAndRateComeOutAsTheSourceHasThemWhateverItsWavLayout) {
  TempFolder root;
  const std::string music = root / "Wavs";
  fs::create_directory(music);
  // The converter's default WAV carries a LIST chunk: its samples start at byte 78, off the
  // frame grid of byte 44.
  ASSERT_TRUE(makeMusic(music + "/left.wav",
                        {"-af", "pan=stereo|c0=c0|c1=0*c1", "-ar", "44100", "-c:a", "pcm_s16le"}));
  auto makeTone = [&](const std::string& name, const char* rate, const char* channels) {
    const std::vector<std::string> arguments = {
        "ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi",
        "-i", std::string("sine=frequency=1000:duration=4:sample_rate=") + rate, "-ac", channels,
        "-c:a", "pcm_s16le", music + "/" + name};
    return platform::runChildAndWait(arguments).exitStatus == 0;
  };
  ASSERT_TRUE(makeTone("mono.wav", "44100", "1"));
  ASSERT_TRUE(makeTone("tone48k.wav", "48000", "2"));

  ASSERT_EQ(runCommand("--log --no-mp3 '" + music + "'", root.path()), 0);

  const Wav left = readResult(music + "/sonbalanced/left_eq.wav");
  expectCleanResult(left, static_cast<std::size_t>(kSeconds * 44100));
  EXPECT_GT(amplitudeAt(left.left, 440, 44100), 100 * amplitudeAt(left.right, 440, 44100));
  EXPECT_GT(amplitudeAt(left.left, 55, 44100), 100 * amplitudeAt(left.right, 55, 44100));

  // Dropping or repeating frames, or a mono file's samples dealt out between the channels, would
  // leave images about 18 to 22 dB below the tone.
  for (const char* name : {"mono_eq.wav", "tone48k_eq.wav"}) {
    SCOPED_TRACE(name);
    const Wav tone = readResult(music + "/sonbalanced/" + name);
    expectCleanResult(tone, 4 * 44100);
    EXPECT_LT(residueRelativeTo(tone.left, 1000), 1e-3);
    EXPECT_LT(residueRelativeTo(tone.right, 1000), 1e-3);
  }
}

}  // namespace
