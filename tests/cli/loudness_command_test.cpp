// Loudness matching and ReplayGain through the real command, held to ffmpeg's own loudness
// meter (its ebur128 filter) and to the tags as ffprobe reads them back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "batch/loudness_match.h"
#include "platform/child_process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

const std::string kCommand = std::string(SONBALANCER_BINARY_DIR) + "/bin/sonbalancer-cli";

std::string outputOf(const std::vector<std::string>& arguments) {
  std::string text;
  platform::runChildReadingOutput(arguments, [&text](const char* bytes, std::size_t count) {
    text.append(bytes, count);
    return true;
  });
  return text;
}

bool made(const std::string& source, const std::string& path) {
  const platform::ChildOutcome outcome =
      platform::runChildAndWait({"ffmpeg", "-nostdin", "-y", "-v", "error", "-f", "lavfi", "-i",
                                 source, "-ac", "2", "-ar", "44100", "-flags", "bitexact", path});
  return outcome.exitStatusRead && outcome.exitStatus == 0;
}

struct Measured {
  double integratedLufs = 0.0;
  double truePeakDbtp = -std::numeric_limits<double>::infinity();
};

// ffmpeg's meter on the decoded files, one after the other as one programme.
Measured ffmpegMeasure(const std::vector<std::string>& paths) {
  std::vector<std::string> arguments = {"ffmpeg", "-nostdin", "-v", "error"};
  std::string inputs;
  for (std::size_t at = 0; at < paths.size(); ++at) {
    arguments.insert(arguments.end(), {"-i", paths[at]});
    inputs += "[" + std::to_string(at) + ":a]";
  }
  arguments.insert(arguments.end(),
                   {"-filter_complex",
                    inputs + "concat=n=" + std::to_string(paths.size()) +
                        ":v=0:a=1,ebur128=peak=true:metadata=1,ametadata=print:file=-",
                    "-f", "null", "-"});
  Measured measured;
  const std::string text = outputOf(arguments);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string line = text.substr(at, end - at);
    if (line.starts_with("lavfi.r128.I=")) measured.integratedLufs = std::stod(line.substr(13));
    if (line.starts_with("lavfi.r128.true_peak=")) {
      measured.truePeakDbtp =
          std::max(measured.truePeakDbtp, 20.0 * std::log10(std::stod(line.substr(21))));
    }
    at = end + 1;
  }
  return measured;
}

nlohmann::json tagsOf(const std::string& mp3) {
  return nlohmann::json::parse(outputOf({"ffprobe", "-v", "error", "-show_entries", "format_tags",
                                         "-of", "json", mp3}))["format"]["tags"];
}

// "+3.52 dB" as a number.
double gainOfTag(const nlohmann::json& tag) { return std::stod(tag.get<std::string>()); }

std::vector<std::int16_t> samplesOf(const std::string& wav) {
  const std::string bytes = readFile(wav);
  constexpr std::size_t kHeaderBytes = 44;
  std::vector<std::int16_t> samples(bytes.size() > kHeaderBytes ? (bytes.size() - kHeaderBytes) / 2
                                                                : 0);
  if (!samples.empty())
    std::memcpy(samples.data(), bytes.data() + kHeaderBytes, samples.size() * 2);
  return samples;
}

int run(const fs::path& work, const std::string& arguments) {
  const std::string line =
      "cd '" + work.string() + "' && '" + kCommand + "' " + arguments + " 2>stderr.txt </dev/null";
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LoudnessCommand, TracksOfEveryLevelMeetTheTargetUnderTheCeilingAndCarryReplayGain) {
  TempFolder root;
  const std::string set = root / "set";
  fs::create_directory(set);
  // Loud wide-band noise, a quiet tone, a bass line, and sparse loud bursts whose peaks keep
  // them far below the target.
  ASSERT_TRUE(made("anoisesrc=c=pink:a=0.5:d=8:seed=1", set + "/loud.wav"));
  ASSERT_TRUE(made("sine=f=220:d=8,volume=0.05", set + "/quiet.flac"));
  ASSERT_TRUE(made("anoisesrc=c=brown:a=0.3:d=8:seed=2,lowpass=f=200", set + "/bass.ogg"));
  ASSERT_TRUE(made("aevalsrc='0.9*sin(2*PI*1000*t)*lt(mod(t\\,1)\\,0.01)':d=8:s=44100",
                   set + "/spiky.wav"));
  const std::vector<std::string> names = {"bass", "loud", "quiet", "spiky"};

  TempFolder plain;
  ASSERT_EQ(run(plain.path(), "--report plain '" + set + "'"), 0);
  const nlohmann::json plainReport = nlohmann::json::parse(readFile(plain / "plain/report.json"));
  const std::string results = set + "/sonbalanced/";
  std::vector<std::vector<std::int16_t>> plainSamples;
  for (const std::string& name : names)
    plainSamples.push_back(samplesOf(results + name + "_eq.wav"));
  fs::remove_all(results);

  TempFolder work;
  ASSERT_EQ(
      run(work.path(), "--log --loudness-target -18 --replaygain --report matched '" + set + "'"),
      0);
  const nlohmann::json report = nlohmann::json::parse(readFile(work / "matched/report.json"));
  const std::string log = readFile(work / "sonbalancer-log.txt");
  ASSERT_EQ(report["tracks"].size(), names.size());
  EXPECT_EQ(report["options"]["loudness_target"], -18);

  std::vector<std::string> mp3s;
  for (std::size_t at = 0; at < names.size(); ++at) {
    SCOPED_TRACE(names[at]);
    const nlohmann::json& track = report["tracks"][at];
    const std::string wav = results + names[at] + "_eq.wav";
    const std::string mp3 = results + names[at] + ".mp3";
    mp3s.push_back(mp3);
    EXPECT_EQ(track["loudness_target_lufs"], -18.0);
    EXPECT_TRUE(plainReport["tracks"][at]["loudness_gain_db"].is_null());

    // Where the gain alone keeps the ceiling, it is all that differs from the plain result,
    // rounded to the nearest step; the bursts need the limiter.
    const double gainDb = track["loudness_gain_db"].get<double>();
    const double factor = std::pow(10.0, gainDb / 20.0);
    const std::vector<std::int16_t> samples = samplesOf(wav);
    ASSERT_EQ(samples.size(), plainSamples[at].size());
    std::size_t differing = 0;
    for (std::size_t index = 0; index < samples.size(); ++index) {
      const long expected =
          std::clamp<long>(std::lround(plainSamples[at][index] * factor), -32768, 32767);
      differing += samples[index] != expected;
    }
    if (names[at] == "spiky") {
      EXPECT_GT(differing, 0u);
    } else {
      EXPECT_EQ(differing, 0u);
    }

    for (const std::string& result : {wav, mp3}) {
      const Measured measured = ffmpegMeasure({result});
      EXPECT_LE(measured.truePeakDbtp, -1.0) << result;
      if (names[at] != "spiky") {
        EXPECT_NEAR(measured.integratedLufs, -18.0, 0.5) << result;
      }
    }
    const nlohmann::json tags = tagsOf(mp3);
    const Measured decoded = ffmpegMeasure({mp3});
    EXPECT_NEAR(gainOfTag(tags["REPLAYGAIN_TRACK_GAIN"]), -18.0 - decoded.integratedLufs, 0.1);
    EXPECT_NEAR(20.0 * std::log10(std::stod(tags["REPLAYGAIN_TRACK_PEAK"].get<std::string>())),
                decoded.truePeakDbtp, 0.25);
    EXPECT_FALSE(tags.contains("R128_TRACK_GAIN"));
    // The report tells of the MP3 as decoded, beside the WAV.
    EXPECT_NEAR(track["mp3_integrated_lufs"].get<double>(), decoded.integratedLufs, 0.1);
    EXPECT_NEAR(track["mp3_true_peak_dbtp"].get<double>(), decoded.truePeakDbtp, 0.25);
  }

  // The bursts are limited by as much as the limiter may take, with its shortest recovery, and
  // still held by the ceiling; every place that speaks of the track says by how much they fall
  // short.
  const nlohmann::json& spiky = report["tracks"][3];
  const double shortLu = spiky["loudness_short_lu"].get<double>();
  EXPECT_NEAR(shortLu, -18.0 - spiky["after"]["integrated_lufs"].get<double>(), 0.01);
  EXPECT_GT(shortLu, 2.0);
  EXPECT_EQ(report["tracks"][0]["loudness_short_lu"], 0.0);
  char shortText[32];
  std::snprintf(shortText, sizeof shortText, "%.2f LU short", shortLu);
  char limitedText[64];
  std::snprintf(limitedText, sizeof limitedText, "peaks limited by up to %.2f dB, recovering in 5 ms, ",
                batch::kMostLimitingDb);
  EXPECT_NE(log.find(limitedText + std::string(shortText)), std::string::npos) << log;
  EXPECT_NE(readFile(work / "stderr.txt")
                .find(set + "/spiky.wav: " + shortText +
                      " of -18.0 LUFS for a true peak of at most -1.0 dBTP"),
            std::string::npos)
      << readFile(work / "stderr.txt");

  const Measured album = ffmpegMeasure(mp3s);
  for (const std::string& mp3 : mp3s) {
    const nlohmann::json tags = tagsOf(mp3);
    EXPECT_NEAR(gainOfTag(tags["REPLAYGAIN_ALBUM_GAIN"]), -18.0 - album.integratedLufs, 0.1) << mp3;
    EXPECT_EQ(tags["REPLAYGAIN_ALBUM_PEAK"], tagsOf(mp3s[3])["REPLAYGAIN_TRACK_PEAK"]) << mp3;
  }
}

TEST(LoudnessCommand, NoiseRichMp3LandsOnTheTargetAsItsWavDoes) {
  // White noise to 22 kHz under a loud kick, which keeps the matched WAV at the ceiling: the
  // encoder's low-pass takes 1.7 LU off it, which a level change cannot give back.
  TempFolder work;
  const std::string set = work / "set";
  fs::create_directory(set);
  ASSERT_TRUE(
      made("aevalsrc='0.1*(2*random(0)-1)+0.9*sin(2*PI*55*t)*exp(-25*mod(t\\,0.5))':"
           "d=10:s=44100",
           set + "/noise.wav"));
  ASSERT_EQ(run(work.path(), "--log --loudness-target -14 set"), 0)
      << readFile(work / "stderr.txt");
  const std::string log = readFile(work / "sonbalancer-log.txt");
  EXPECT_NE(log.find("MP3 encoded from a copy matched to "), std::string::npos) << log;
  EXPECT_EQ(log.find(" short of the target"), std::string::npos) << log;
  for (const std::string& result :
       {set + "/sonbalanced/noise_eq.wav", set + "/sonbalanced/noise.mp3"}) {
    const Measured measured = ffmpegMeasure({result});
    EXPECT_NEAR(measured.integratedLufs, -14.0, 0.5) << result;
    EXPECT_LE(measured.truePeakDbtp, -1.0) << result;
  }
  // The copy the MP3 was encoded from is gone with the job.
  for (const auto& entry : fs::recursive_directory_iterator(set)) {
    EXPECT_TRUE(entry.path().extension() != ".part") << entry.path();
  }
}

TEST(LoudnessCommand, OutOfRangeTargetsAndTagsWithoutMp3AreRefused) {
  TempFolder work;
  fs::create_directory(work / "set");
  for (const char* arguments : {"--loudness-target -80", "--loudness-target 3",
                                "--loudness-target loud", "--replaygain --no-mp3"}) {
    EXPECT_EQ(run(work.path(), std::string(arguments) + " set"), 2) << arguments;
    EXPECT_NE(readFile(work / "stderr.txt").find("--"), std::string::npos) << arguments;
  }
  EXPECT_FALSE(fs::exists(work / "set/sonbalanced"));
}

}  // namespace
