// The output folder's record of what each result was made from, as a later job reads it back.
#include "batch/result_manifest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using batch::ResultChoices;
using batch::ResultManifests;
using batch::ResultOrigin;
using batch::ResultsState;
using batch::SourceStamp;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

class ResultManifest : public ::testing::Test {
 protected:
  ResultManifest() { writeFile(result(), "audio"); }
  std::string folder() const { return root_ / ""; }
  // A name of any bytes: a line feed, a byte that is not UTF-8, the escape character itself.
  std::string result() const { return folder() + "x\n\xff%41_eq.wav"; }
  std::string manifest() const { return folder() + batch::kResultManifestName; }

  // What a new job reads of the result.
  ResultsState judgedAfresh(const SourceStamp& source, const ResultChoices& choices) const {
    ResultManifests later;
    later.open(folder());
    return later.judge(folder(), {result()}, source, choices);
  }

  TempFolder root_;
  const SourceStamp source_{"album/\xe9t\xe9.mp3", 1234, -5};
  const ResultChoices choices_ = [] {
    ResultChoices choices;
    choices.mp3 = true;
    choices.loudnessTargetLufs = -14.1;
    return choices;
  }();
};

TEST_F(ResultManifest, ARecordSpeaksOnlyForItsOwnSourceAndChoices) {
  ResultManifests job;
  job.open(folder());
  job.record(folder(), {result(), ""}, ResultOrigin{source_, choices_});

  EXPECT_EQ(judgedAfresh(source_, choices_), ResultsState::Done);
  EXPECT_EQ(judgedAfresh({"album/%E9t%E9.mp3", 1234, -5}, choices_), ResultsState::OtherSource);
  EXPECT_EQ(judgedAfresh({"bum/\xe9t\xe9.mp3", 1234, -5}, choices_), ResultsState::OtherSource);
  // The album given on its own, or a folder above the first PATH.
  EXPECT_EQ(judgedAfresh({"\xe9t\xe9.mp3", 1234, -5}, choices_), ResultsState::Done);
  EXPECT_EQ(judgedAfresh({"lib/album/\xe9t\xe9.mp3", 1234, -5}, choices_), ResultsState::Done);
  EXPECT_EQ(judgedAfresh({source_.name, 1234, -4}, choices_), ResultsState::SourceChanged);
  ResultChoices louder = choices_;
  louder.loudnessTargetLufs = -14.0;
  EXPECT_EQ(judgedAfresh(source_, louder), ResultsState::OtherChoices);
  louder.loudnessTargetLufs.reset();
  EXPECT_EQ(judgedAfresh(source_, louder), ResultsState::OtherChoices);

  // Forgotten before the result is written again: a job stopped before the new record is
  // written leaves none that speaks for the new bytes.
  job.forget(folder(), {result()});
  EXPECT_EQ(judgedAfresh(source_, choices_), ResultsState::Unrecorded);
  fs::remove(result());
  EXPECT_EQ(judgedAfresh(source_, choices_), ResultsState::Missing);
}

TEST_F(ResultManifest, TheMp3RateAndTheWavTagsAreKeptAsChosen) {
  using media::Mp3Rate;
  const std::vector<Mp3Rate> rates = {Mp3Rate{320, {}}, Mp3Rate{Mp3Rate::kSameRate, {}},
                                      Mp3Rate{128, 2}};
  const auto chosen = [&](const Mp3Rate& rate, bool wavTags) {
    ResultChoices choices = choices_;
    choices.mp3Rate = rate;
    choices.wavTags = wavTags;
    return choices;
  };
  for (const Mp3Rate& rate : rates) {
    ResultManifests job;
    job.open(folder());
    job.record(folder(), {result()}, ResultOrigin{source_, chosen(rate, true)});
    for (const Mp3Rate& other : rates) {
      EXPECT_EQ(judgedAfresh(source_, chosen(other, true)),
                other == rate ? ResultsState::Done : ResultsState::OtherChoices)
          << rate.kbps << " " << other.kbps;
    }
    EXPECT_EQ(judgedAfresh(source_, chosen(rate, false)), ResultsState::OtherChoices);
  }
  // As an earlier version wrote it, without the WAV's tags: it speaks for untagged WAVs. A rate
  // that no version writes speaks for nothing.
  const auto recordOfRate = [&](const std::string& mp3) {
    writeFile(manifest(), R"({"format": 1, "results": {"x%0A%FF%2541_eq.wav": {
      "source": "album/%E9t%E9.mp3", "size": 1234, "modified_ns": -5, "no_bassline": false,
      "ignore_clicks": false, "mp3": ")" +
                              mp3 + R"(", "mp3_only": false,
      "loudness_target": -14.1, "replaygain": "off"}}})");
  };
  recordOfRate("192k");
  EXPECT_EQ(judgedAfresh(source_, chosen(Mp3Rate{192, {}}, false)), ResultsState::Done);
  for (const char* unknown : {"vbr", "k", "12x", "vbr1234", "-1k"}) {
    recordOfRate(unknown);
    EXPECT_EQ(judgedAfresh(source_, choices_), ResultsState::Unrecorded) << unknown;
  }
}

TEST_F(ResultManifest, ManifestsThatAreNotOursSpeakForNothing) {
  ResultManifests job;
  job.open(folder());
  job.record(folder(), {result()}, ResultOrigin{source_, choices_});
  const std::string ours = testing_support::readFile(manifest());
  for (const std::string& foreign :
       {std::string("{\"format\": 1, \"results\": "), std::string("[1, 2]"),
        std::string("{\"format\": 2, \"results\": {}}"),
        std::string("{\"format\": 1, \"results\": {\"x%0A%FF%2541_eq.wav\": {\"source\": 7}}}")}) {
    writeFile(manifest(), foreign);
    EXPECT_EQ(judgedAfresh(source_, choices_), ResultsState::Unrecorded) << foreign;
  }
  // Planted as a link to a copy of a manifest that would speak for the result.
  writeFile(root_ / "elsewhere.json", ours);
  fs::remove(manifest());
  fs::create_symlink(root_ / "elsewhere.json", manifest());
  EXPECT_EQ(judgedAfresh(source_, choices_), ResultsState::Unrecorded);
}

TEST_F(ResultManifest, AManifestThatCannotBeWrittenIsToldOnce) {
  ResultManifests job;
  job.open(folder());
  fs::create_directories(manifest() + "/occupied");
  job.record(folder(), {result()}, ResultOrigin{source_, choices_});
  EXPECT_TRUE(job.takeWriteFailure(folder()));
  EXPECT_FALSE(job.takeWriteFailure(folder()));
  EXPECT_EQ(judgedAfresh(source_, choices_), ResultsState::Unrecorded);
}

}  // namespace
