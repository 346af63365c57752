// The source's identity in the results, through the real command: an MP3 that DJ software has
// tagged (comment, cue and beat-grid objects, rating, lyrics, private frames, its own gain, a
// cover) and a FLAC with comment and lyrics, read back with the tag library and with ffprobe.
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/generalencapsulatedobjectframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/popularimeterframe.h>
#include <taglib/privateframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/wavfile.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/command_line.h"
#include "tests/support/media_files.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::makeTone;
using testing_support::outputOf;
using testing_support::TempFolder;

namespace {

namespace id3 = TagLib::ID3v2;

const TagLib::ByteVector kCues("cue points\0\x01\x02\xff", 14);
const TagLib::ByteVector kPrivate("\x00\x10grid", 6);

// What DJ software and taggers leave in an MP3's tag.
void tagLikeADj(const std::string& path, const TagLib::ByteVector& cover) {
  TagLib::MPEG::File file(path.c_str(), false);
  id3::Tag* tag = file.ID3v2Tag(true);
  tag->setTitle("Night Drive");
  tag->setArtist("Band");
  tag->setComment("energy 7, cue at the break");
  auto* objects = new id3::GeneralEncapsulatedObjectFrame;
  objects->setDescription("Markers2");
  objects->setMimeType("application/octet-stream");
  objects->setObject(kCues);
  tag->addFrame(objects);
  auto* rating = new id3::PopularimeterFrame;
  rating->setEmail("dj@example.org");
  rating->setRating(196);
  rating->setCounter(5);
  tag->addFrame(rating);
  auto* lyrics = new id3::UnsynchronizedLyricsFrame;
  lyrics->setText("la la la");
  tag->addFrame(lyrics);
  tag->addFrame(new id3::PrivateFrame);
  static_cast<id3::PrivateFrame*>(tag->frameList("PRIV").front())->setOwner("org.dj.grid");
  static_cast<id3::PrivateFrame*>(tag->frameList("PRIV").front())->setData(kPrivate);
  tag->addFrame(new id3::UserTextIdentificationFrame("REPLAYGAIN_TRACK_GAIN",
                                                     TagLib::StringList("-6.00 dB")));
  tag->addFrame(new id3::UserTextIdentificationFrame("ENERGY", TagLib::StringList("7")));
  auto* picture = new id3::AttachedPictureFrame;
  picture->setMimeType("image/png");
  picture->setType(id3::AttachedPictureFrame::FrontCover);
  picture->setPicture(cover);
  tag->addFrame(picture);
  ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, id3::v4));
}

std::string text(const id3::Tag& tag, const char* id) {
  const id3::FrameList frames = tag.frameList(id);
  return frames.isEmpty() ? "" : frames.front()->toString().to8Bit(true);
}

std::string userText(id3::Tag& tag, const char* description) {
  const auto* frame = id3::UserTextIdentificationFrame::find(&tag, description);
  return frame ? frame->fieldList().back().to8Bit(true) : "";
}

nlohmann::json probedTags(const std::string& path) {
  return nlohmann::json::parse(outputOf({"ffprobe", "-v", "error", "-show_entries", "format_tags",
                                         "-of", "json", path}))["format"]["tags"];
}

TEST(TagsCommand, ResultsKeepEveryFrameThatDescribesTheTrackAndNoneOfItsOldLoudness) {
  TempFolder root;
  const fs::path album = root / "album";
  fs::create_directory(album);
  const std::string coverPath = root / "cover.png";
  ASSERT_EQ(platform::runChildAndWait({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                       "color=blue:s=16x16", "-frames:v", "1", coverPath})
                .exitStatus,
            0);
  const std::string coverBytes = testing_support::readFile(coverPath);
  const TagLib::ByteVector cover(coverBytes.data(), static_cast<unsigned int>(coverBytes.size()));
  ASSERT_TRUE(makeTone(album / "dj.mp3", {"-b:a", "320k"}, 3.0));
  tagLikeADj(album / "dj.mp3", cover);
  ASSERT_TRUE(makeTone(album / "notes.flac",
                       {"-metadata", "TITLE=Título", "-metadata", "COMMENT=warm-up opener",
                        "-metadata", "LYRICS=oh oh", "-metadata", "REPLAYGAIN_TRACK_GAIN=-3 dB"},
                       3.0, 660));

  const testing_support::ShellRun run =
      testing_support::runInShell(root.path(), "\"$SONBALANCER\" --replaygain --wav-tags " +
                                                   testing_support::shellQuoted(album.string()));
  ASSERT_EQ(run.exitStatus, 0) << run.standardError;
  const fs::path results = album / "sonbalanced";

  TagLib::MPEG::File mp3((results / "dj.mp3").c_str(), false);
  ASSERT_TRUE(mp3.hasID3v2Tag());
  id3::Tag& tag = *mp3.ID3v2Tag();
  EXPECT_EQ(tag.header()->majorVersion(), 3u);
  EXPECT_EQ(text(tag, "TIT2"), "Night Drive");
  EXPECT_EQ(text(tag, "COMM"), "energy 7, cue at the break");
  EXPECT_EQ(text(tag, "USLT"), "la la la");
  EXPECT_EQ(userText(tag, "ENERGY"), "7");
  auto* objects = dynamic_cast<id3::GeneralEncapsulatedObjectFrame*>(tag.frameList("GEOB").front());
  ASSERT_NE(objects, nullptr);
  EXPECT_EQ(objects->object(), kCues);
  auto* rating = dynamic_cast<id3::PopularimeterFrame*>(tag.frameList("POPM").front());
  ASSERT_NE(rating, nullptr);
  EXPECT_EQ(rating->rating(), 196);
  EXPECT_EQ(rating->counter(), 5u);
  auto* privateFrame = dynamic_cast<id3::PrivateFrame*>(tag.frameList("PRIV").front());
  ASSERT_NE(privateFrame, nullptr);
  EXPECT_EQ(privateFrame->data(), kPrivate);
  auto* picture = dynamic_cast<id3::AttachedPictureFrame*>(tag.frameList("APIC").front());
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->picture(), cover);
  // The source's own gain is gone; the MP3's, and the album's, are measured on its audio.
  EXPECT_NE(userText(tag, "REPLAYGAIN_TRACK_GAIN"), "-6.00 dB");
  EXPECT_FALSE(userText(tag, "REPLAYGAIN_TRACK_GAIN").empty());
  EXPECT_FALSE(userText(tag, "REPLAYGAIN_ALBUM_GAIN").empty());
  EXPECT_EQ(probedTags(results / "dj.mp3").value("comment", ""), "energy 7, cue at the break");

  const nlohmann::json flacMp3 = probedTags(results / "notes.mp3");
  EXPECT_EQ(flacMp3.value("title", ""), "Título");
  EXPECT_EQ(flacMp3.value("comment", ""), "warm-up opener");
  EXPECT_EQ(flacMp3.value("REPLAYGAIN_TRACK_GAIN", "").find("-3"), std::string::npos);
  TagLib::MPEG::File notes((results / "notes.mp3").c_str(), false);
  EXPECT_EQ(text(*notes.ID3v2Tag(), "USLT"), "oh oh");

  // The WAV results name their track as DJ software reads it: INFO and ID3 chunks.
  EXPECT_EQ(probedTags(results / "dj_eq.wav").value("title", ""), "Night Drive");
  TagLib::RIFF::WAV::File wav((results / "dj_eq.wav").c_str(), false);
  ASSERT_TRUE(wav.hasID3v2Tag() && wav.hasInfoTag());
  EXPECT_EQ(wav.InfoTag()->artist().to8Bit(true), "Band");
  EXPECT_EQ(
      dynamic_cast<id3::GeneralEncapsulatedObjectFrame*>(wav.ID3v2Tag()->frameList("GEOB").front())
          ->object(),
      kCues);
}

}  // namespace

namespace {

double bitRateKbps(const std::string& path) {
  return std::stod(outputOf({"ffprobe", "-v", "error", "-show_entries", "format=bit_rate", "-of",
                             "csv=p=0", path})) /
         1000.0;
}

// "same" keeps an MP3 source's rate for a DJ who cannot play a lower one; other sources get the
// highest. A variable rate follows its quality.
TEST(Mp3Rates, SameKeepsTheSourceRateAndVariableFollowsItsQuality) {
  TempFolder root;
  ASSERT_TRUE(makeTone(root / "kept.mp3", {"-b:a", "256k"}, 4.0));
  ASSERT_TRUE(makeTone(root / "lossless.flac", {}, 4.0));
  const testing_support::ShellRun same =
      testing_support::runInShell(root.path(), "\"$SONBALANCER\" --mp3-bitrate same " +
                                                   testing_support::shellQuoted(root.path()));
  ASSERT_EQ(same.exitStatus, 0) << same.standardError;
  EXPECT_NEAR(bitRateKbps(root / "sonbalanced/kept.mp3"), 256.0, 4.0);
  EXPECT_NEAR(bitRateKbps(root / "sonbalanced/lossless.mp3"), 320.0, 4.0);

  double kbps[2] = {};
  for (int quality : {0, 9}) {
    fs::remove_all(root / "sonbalanced");
    const testing_support::ShellRun variable = testing_support::runInShell(
        root.path(), "\"$SONBALANCER\" --mp3-vbr " + std::to_string(quality) + " " +
                         testing_support::shellQuoted(root / "lossless.flac"));
    ASSERT_EQ(variable.exitStatus, 0) << variable.standardError;
    kbps[quality == 0 ? 0 : 1] = bitRateKbps(root / "sonbalanced/lossless.mp3");
  }
  EXPECT_GT(kbps[0], 1.5 * kbps[1]);
}

}  // namespace
