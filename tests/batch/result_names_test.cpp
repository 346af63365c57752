#include "batch/result_names.h"

#include <gtest/gtest.h>

namespace {

// The WAV result a source gets in a job where no other source has its name.
std::string plainWav(const std::string& sourcePath, const std::string& outputFolderPath) {
  batch::ResultNameBook book;
  return book.take(sourcePath, outputFolderPath, "ext").wav;
}

TEST(ResultNames, PlainNameReplacesTheLastFourCharactersOfTheBaseName) {
  EXPECT_EQ(plainWav("/music/Song.WAV", "/music/sonbalanced/"), "/music/sonbalanced/Song_eq.wav");
  EXPECT_EQ(plainWav("/music/clip.mpg", "/out/"), "/out/clip_eq.wav");
  EXPECT_EQ(plainWav("/music/trackmp3", "/out/"), "/out/trac_eq.wav");
  EXPECT_EQ(plainWav("a/b.c/song.flac.ogg", "/out/"), "/out/song.flac_eq.wav");
}

TEST(ResultNames, FirstCharacterIsNeverTakenForASeparator) {
  EXPECT_EQ(plainWav("song.mp3", "/out/"), "/out/song_eq.wav");
  EXPECT_EQ(plainWav("/song.mp3", "/out/"), "/out//song_eq.wav");
}

TEST(ResultNames, ShortBaseNameStaysInsideTheOutputFolder) {
  EXPECT_EQ(plainWav("/music/wav", "/music/sonbalanced/"), "/music/sonbalanced/_eq.wav");
}

TEST(ResultNames, TemporaryFileAndMp3LieInTheOutputFolder) {
  EXPECT_EQ(batch::temporaryWavPath("/m/sonbalanced/"), "/m/sonbalanced/TMPOUT.WAV");
  EXPECT_EQ(batch::temporaryWavPath("/m/sonbalanced/", batch::numberedTemporaryWavName(7)),
            "/m/sonbalanced/TMPOUT-7.WAV");
  EXPECT_EQ(batch::mp3PathOf("/m/sonbalanced/clip_eq.wav"), "/m/sonbalanced/clip.mp3");
}

}  // namespace
