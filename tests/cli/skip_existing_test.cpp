// --skip-existing through the real command on real files: results are left alone only when
// they were made from this very source with these very choices.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/command.h"
#include "tests/support/media_files.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::makeTone;
using testing_support::shellQuoted;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

class SkipExisting : public ::testing::Test, protected testing_support::CommandRuns {
 protected:
  std::string music() const { return library_ / "music"; }
  std::string output() const { return music() + "/sonbalanced/"; }
  // A source made elsewhere an hour before the results, brought in as `cp -p` brings a file.
  void bringIn(const std::string& name, int frequencyHz) {
    const std::string made = library_ / name;
    ASSERT_TRUE(makeTone(made, {}, 0.5, frequencyHz));
    fs::last_write_time(made, fs::file_time_type::clock::now() - std::chrono::hours(1));
    ASSERT_EQ(std::system(("cp -p " + shellQuoted(made) + " " + shellQuoted(music())).c_str()), 0);
  }

  TempFolder library_;
};

TEST_F(SkipExisting, ResultsThatAnotherSourceMadeAreMadeAgainFromTheirOwn) {
  fs::create_directory(music());
  ASSERT_TRUE(makeTone(music() + "/a.mp3", {}, 0.5, 300));
  ASSERT_TRUE(makeTone(music() + "/a.ogg", {"-acodec", "libvorbis"}, 0.5, 500));
  ASSERT_EQ(run("--no-mp3 -j 2 " + shellQuoted(music())), 0) << standardError();
  const std::string oggResult = readFile(output() + "a (ogg)_eq.wav");
  ASSERT_FALSE(oggResult.empty());

  // With a.mp3 gone, a.ogg takes the plain name, which holds a.mp3's audio.
  fs::remove(music() + "/a.mp3");
  ASSERT_EQ(run("--no-mp3 --skip-existing --log -j 1 " + shellQuoted(music())), 0) << standardError();
  EXPECT_NE(log().find("Type: ogg - Results made from another source - Processed again\nStep 1: "),
            std::string::npos)
      << log();
  EXPECT_EQ(readFile(output() + "a_eq.wav"), oggResult);

  // A source that sorts first, older than every result, takes the plain name back; a.ogg's own
  // results of the first run are still its own.
  const auto oggResultTime = fs::last_write_time(output() + "a (ogg)_eq.wav");
  bringIn("a.flac", 700);
  ASSERT_EQ(run("--no-mp3 --skip-existing --log -j 2 " + shellQuoted(music())), 0) << standardError();
  EXPECT_NE(log().find("Type: flac - Results made from another source - Processed again\n"),
            std::string::npos)
      << log();
  EXPECT_NE(log().find("a.ogg...\nType: ogg - Results newer than the source - Skipped\n\n"),
            std::string::npos)
      << log();
  EXPECT_NE(readFile(output() + "a_eq.wav"), oggResult);
  EXPECT_EQ(fs::last_write_time(output() + "a (ogg)_eq.wav"), oggResultTime);
  EXPECT_NE(standardError().find("1 processed, 1 skipped, 0 failed"), std::string::npos)
      << standardError();
}

TEST_F(SkipExisting, OtherChoicesMakeTheResultsAgainAsAFreshRunWould) {
  const std::string choices = "--loudness-target -18 --mp3-192k ";
  TempFolder fresh;
  fs::create_directory(music());
  ASSERT_TRUE(makeTone(music() + "/a.ogg", {"-acodec", "libvorbis"}));
  ASSERT_EQ(std::system(("cp -p " + shellQuoted(music() + "/a.ogg") + " " + shellQuoted(fresh / "")).c_str()),
            0);
  ASSERT_EQ(run(choices + shellQuoted(fresh / "a.ogg")), 0) << standardError();
  ASSERT_EQ(run("--loudness-target -14 " + shellQuoted(music())), 0) << standardError();

  ASSERT_EQ(run(choices + "--skip-existing --log " + shellQuoted(music())), 0) << standardError();
  EXPECT_NE(log().find("Type: ogg - Results made with other choices - Processed again\n"),
            std::string::npos)
      << log();
  EXPECT_EQ(readFile(output() + "a_eq.wav"), readFile(fresh / "sonbalanced/a_eq.wav"));
  EXPECT_EQ(readFile(output() + "a.mp3"), readFile(fresh / "sonbalanced/a.mp3"));

  ASSERT_EQ(run(choices + "--skip-existing --log " + shellQuoted(music())), 0) << standardError();
  EXPECT_NE(log().find("Type: ogg - Results newer than the source - Skipped\n\n"),
            std::string::npos)
      << log();
  // Each a change from the run before it.
  for (const std::string other :
       {"--mp3-bitrate 320 ", "--mp3-vbr 2 ", "--mp3-vbr 2 --wav-tags "}) {
    ASSERT_EQ(
        run("--loudness-target -18 " + other + "--skip-existing --log " + shellQuoted(music())), 0)
        << standardError();
    EXPECT_NE(log().find("Results made with other choices - Processed again\n"), std::string::npos)
        << other << log();
  }

  // Results left by a version that kept no record.
  fs::remove(output() + ".sonbalancer-results.json");
  ASSERT_EQ(run(choices + "--skip-existing --log " + shellQuoted(music())), 0) << standardError();
  EXPECT_NE(log().find("Type: ogg - No record of how the results were made - Processed again\n"),
            std::string::npos)
      << log();
  EXPECT_TRUE(fs::exists(output() + ".sonbalancer-results.json"));
}

TEST_F(SkipExisting, AnAlbumThatChangedIsTaggedWholeByTheNextRun) {
  fs::create_directory(music());
  fs::create_directory(library_ / "single");
  ASSERT_TRUE(makeTone(music() + "/a.wav", {}, 0.5, 300));
  ASSERT_TRUE(makeTone(music() + "/b.wav", {}, 0.5, 500));
  const std::string single = library_ / "single/s.wav";
  ASSERT_TRUE(makeTone(single, {}, 0.5, 700));
  // a.wav, given on its own too, is still a track of the folder given.
  const std::string job = "--replaygain --skip-existing " + shellQuoted(music()) + " " +
                          shellQuoted(music() + "/a.wav") + " " + shellQuoted(single);
  const auto albumTagged = [](const std::string& mp3) {
    return readFile(mp3).find("REPLAYGAIN_ALBUM_GAIN") != std::string::npos;
  };
  ASSERT_EQ(run(job), 0) << standardError();
  EXPECT_TRUE(albumTagged(output() + "a.mp3") && albumTagged(output() + "b.mp3"));
  // A file given on its own is no album, and its track tags are what its record says.
  EXPECT_FALSE(albumTagged(library_ / "single/sonbalanced/s.mp3"));
  ASSERT_EQ(run(job), 0) << standardError();
  EXPECT_NE(standardError().find("0 processed, 3 skipped"), std::string::npos) << standardError();

  // One track changed: the album cannot be measured without the others, and its old tags no
  // longer hold.
  fs::last_write_time(music() + "/a.wav", fs::file_time_type::clock::now());
  EXPECT_EQ(run(job), 3);
  EXPECT_NE(standardError().find("its album ReplayGain tags were not written"), std::string::npos)
      << standardError();
  ASSERT_EQ(run(job), 0) << standardError();
  EXPECT_NE(standardError().find("2 processed, 1 skipped"), std::string::npos) << standardError();
  EXPECT_TRUE(albumTagged(output() + "a.mp3") && albumTagged(output() + "b.mp3"));
}

}  // namespace
