// The MP3 step's arguments, the source's tags as the real prober finds them, and the level
// lowered for the true peak.
#include "media/mp3_step.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "media/converter_commands.h"
#include "media/system_services.h"
#include "loudness/true_peak_ceiling.h"
#include "platform/child_process.h"
#include "tests/engine/recording_log.h"
#include "tests/support/media_files.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

using testing_support::makeTone;
using testing_support::TempFolder;

TEST(Mp3Step, ArgumentsCarryTagsCoverAndLevelOnlyWhenThereAreSome) {
  media::Mp3Encoding plain;
  plain.wavPath = "/o/a b_eq.wav";
  plain.mp3Path = "/o/.part";
  plain.sourcePath = "/m/a b.flac";
  EXPECT_EQ(media::mp3Arguments(plain),
            (std::vector<std::string>{"FFMPEG", "-i", "/o/a b_eq.wav", "-id3v2_version", "3", "-f",
                                      "mp3", "-ab", "128k", "/o/.part"}));

  media::Mp3Encoding tagged = plain;
  tagged.at192k = true;
  tagged.tags.tags = {{"title", "Só = \"x\""}, {"TBPM", "128"}};
  tagged.tags.coverStream = 2;
  tagged.gainDb = -1.74;
  EXPECT_EQ(media::mp3Arguments(tagged),
            (std::vector<std::string>{
                "FFMPEG", "-i", "/o/a b_eq.wav", "-protocol_whitelist", "file",
                "-format_whitelist", media::kMediaFileFormats, "-i", "/m/a b.flac", "-map", "0:a",
                "-map", "1:2", "-c:v", "copy", "-metadata:s:v", "title=Album cover",
                "-metadata:s:v", "comment=Cover (front)", "-map_metadata", "-1", "-metadata",
                "title=Só = \"x\"", "-metadata", "TBPM=128", "-id3v2_version", "3", "-af",
                "volume=-1.74dB", "-f", "mp3", "-ab", "192k", "/o/.part"}));
}

TEST(Mp3Step, LevelIsLoweredByTheTruePeakOverTheCeilingRoundedUp) {
  EXPECT_EQ(media::gainForTruePeak(-3.0), 0.0);
  EXPECT_EQ(media::gainForTruePeak(-1.0), 0.0);
  EXPECT_DOUBLE_EQ(media::gainForTruePeak(0.734), -1.74);
  EXPECT_DOUBLE_EQ(media::gainForTruePeak(-0.99), -0.01);
}

// The first MP3 of this noise peaks above the ceiling (its WAV is claimed to be at it), so it is
// encoded again over the first try's file, lower.
TEST(Mp3Step, OvershootingMp3IsEncodedAgainLowerAndKept) {
  TempFolder folder;
  const std::string wav = folder / "noise_eq.wav";
  ASSERT_EQ(platform::runChildAndWait({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                       "anoisesrc=c=white:a=0.95:d=3:seed=5", "-ac", "2", "-ar",
                                       "44100", "-flags", "bitexact", "-c:a", "pcm_s16le", wav})
                .exitStatus,
            0);
  media::Mp3Request request;
  request.wavPath = wav;
  request.mp3Path = folder / "noise.mp3";
  request.partialMp3Path = folder / ".noise.mp3.part";
  request.frames = 3 * 44100;
  request.wavTruePeakDbtp = loudness::kTruePeakCeilingDbtp;
  engine_testing::RecordingLog log;
  const media::Mp3Result result = media::encodeMp3(request, media::realSystemServices(), log);
  EXPECT_EQ(result.outcome, media::Mp3Outcome::Whole) << log.text();
  EXPECT_LT(result.gainDb, 0.0);
  EXPECT_TRUE(log.text().starts_with("OK\n\nMP3 level lowered by ")) << log.text();
  EXPECT_TRUE(fs::is_regular_file(request.mp3Path));
  EXPECT_FALSE(fs::exists(request.partialMp3Path));
}

TEST(SourceTags, ProberFindingsOfAFlacGiveTheCarriedTagsAndItsFrontCover) {
  TempFolder folder;
  const std::string cover = folder / "cover.png";
  const std::string plain = folder / "plain.flac";
  const std::string source = folder / "song.flac";
  ASSERT_TRUE(platform::runChildAndWait({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                         "color=red:s=32x32", "-frames:v", "1", cover})
                  .exitStatus == 0);
  ASSERT_TRUE(makeTone(plain, {"-metadata", "TITLE=Song", "-metadata", "ARTIST=Band",
                               "-metadata", "TRACKNUMBER=3", "-metadata", "TRACKTOTAL=12",
                               "-metadata", "BPM=124", "-metadata", "INITIALKEY=8A", "-metadata",
                               "REPLAYGAIN_TRACK_GAIN=-3.1 dB", "-metadata", "R128_TRACK_GAIN=7"}));
  ASSERT_TRUE(platform::runChildAndWait({"ffmpeg", "-v", "error", "-i", plain, "-i", cover, "-map",
                                         "0", "-map", "1", "-c", "copy", "-disposition:v",
                                         "attached_pic", "-metadata:s:v", "comment=Cover (front)",
                                         source})
                  .exitStatus == 0);
  std::string json;
  platform::runChildReadingOutput(media::probeCommand(source),
                                  [&json](const char* bytes, std::size_t count) {
                                    json.append(bytes, count);
                                    return true;
                                  });

  const media::SourceTags tags = media::sourceTagsFromProbe(json);

  EXPECT_EQ(tags.tags, (std::vector<std::pair<std::string, std::string>>{
                           {"title", "Song"}, {"artist", "Band"}, {"track", "3/12"},
                           {"TBPM", "124"}, {"TKEY", "8A"}}));
  EXPECT_EQ(tags.coverStream, 1);
  EXPECT_TRUE(media::sourceTagsFromProbe("not json").empty());
  EXPECT_TRUE(media::sourceTagsFromProbe(R"({"format": {"tags": {"title": 7}}, "streams": 3})").empty());
}

}  // namespace
