// The MP3 step's arguments, the source's tags as the tag library and the real prober find
// them, and the level lowered for the true peak.
#include "media/mp3_step.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "media/converter_commands.h"
#include "media/source_tags.h"
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

TEST(Mp3Step, ArgumentsCarryTheRateAndTheLevelOnlyWhenThereIsOne) {
  media::Mp3Encoding plain;
  plain.wavPath = "/o/a b_eq.wav";
  plain.mp3Path = "/o/.part";
  EXPECT_EQ(media::mp3Arguments(plain),
            (std::vector<std::string>{"FFMPEG", "-i", "/o/a b_eq.wav", "-id3v2_version", "3",
                                      "-compression_level", "3", "-f", "mp3", "-ab", "128k",
                                      "/o/.part"}));
  media::Mp3Encoding lowered = plain;
  lowered.rate.kbps = 192;
  lowered.gainDb = -1.74;
  EXPECT_EQ(media::mp3Arguments(lowered),
            (std::vector<std::string>{"FFMPEG", "-i", "/o/a b_eq.wav", "-id3v2_version", "3", "-af",
                                      "volume=-1.74dB", "-compression_level", "3", "-f", "mp3",
                                      "-ab", "192k", "/o/.part"}));
  media::Mp3Encoding variable = plain;
  variable.rate.vbrQuality = 2;
  EXPECT_EQ(media::mp3Arguments(variable),
            (std::vector<std::string>{"FFMPEG", "-i", "/o/a b_eq.wav", "-id3v2_version", "3",
                                      "-compression_level", "3", "-f", "mp3", "-q:a", "2",
                                      "/o/.part"}));
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

TEST(SourceTags, FlacAndVideoContainerGiveTheCarriedTagsAndTheFrontCover) {
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
  // The tag library reads the FLAC; the prober reads the same tags in a container the tag
  // library does not know (which keeps the picture as an attachment, not as a cover).
  const std::string video = folder / "song.mkv";
  ASSERT_TRUE(platform::runChildAndWait({"ffmpeg", "-v", "error", "-i", source, "-map", "0",
                                         "-c", "copy", video})
                  .exitStatus == 0);
  const std::string coverBytes = testing_support::readFile(cover);
  for (const std::string& path : {source, video}) {
    const media::TrackIdentity identity = media::sourceIdentity(path, media::realSystemServices());
    using Text = std::vector<std::pair<std::string, std::vector<std::string>>>;
    EXPECT_EQ(identity.text, (Text{{"TITLE", {"Song"}},
                                   {"ARTIST", {"Band"}},
                                   {"TRACKNUMBER", {"3/12"}},
                                   {"BPM", {"124"}},
                                   {"INITIALKEY", {"8A"}}}))
        << path;
  }
  const std::optional<media::Cover> flacCover =
      media::sourceIdentity(source, media::realSystemServices()).cover;
  ASSERT_TRUE(flacCover.has_value());
  EXPECT_EQ(flacCover->data, coverBytes);
  EXPECT_EQ(flacCover->mimeType, "image/png");
  EXPECT_TRUE(media::sourceTagsFromProbe("not json").empty());
  EXPECT_TRUE(media::sourceTagsFromProbe(R"({"format": {"tags": {"title": 7}}, "streams": 3})").empty());
}

}  // namespace
