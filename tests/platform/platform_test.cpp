#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "platform/beep.h"
#include "platform/file_deletion.h"
#include "platform/folders.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(Folders, CreatedOnceThenReportedAsExisting) {
  testing_support::TempFolder root;
  const std::string folder = root / "sonbalanced";
  EXPECT_TRUE(platform::createFolder(folder));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_FALSE(platform::createFolder(folder));
  EXPECT_FALSE(platform::createFolder(root / "missing/sonbalanced"));
}

TEST(Folders, KindOfAPathAndWhetherItLeadsToARegularFile) {
  testing_support::TempFolder root;
  const std::string file = root / "track.wav";
  const std::string fifo = root / "fifo.wav";
  const std::string linkToFile = root / "link.wav";
  const std::string linkToDevice = root / "null.wav";
  testing_support::writeFile(file, "x");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  std::filesystem::create_symlink(file, linkToFile);
  std::filesystem::create_symlink("/dev/null", linkToDevice);

  EXPECT_TRUE(platform::isRegularFile(file));
  EXPECT_TRUE(platform::isRegularFile(linkToFile));
  EXPECT_FALSE(platform::isRegularFile(fifo));
  EXPECT_FALSE(platform::isRegularFile(linkToDevice));
  EXPECT_FALSE(platform::isRegularFile(root.path().string()));
  EXPECT_EQ(platform::pathKindOf(file), platform::PathKind::RegularFile);
  EXPECT_EQ(platform::pathKindOf(linkToFile), platform::PathKind::Link);
  EXPECT_EQ(platform::pathKindOf(fifo), platform::PathKind::Other);
  EXPECT_EQ(platform::pathKindOf(root.path().string()), platform::PathKind::Folder);
  EXPECT_EQ(platform::pathKindOf(root / "missing"), platform::PathKind::Missing);
}

TEST(Beep, SoundsOrGivesUpWithoutHanging) {
  const auto start = std::chrono::steady_clock::now();
  const bool played = platform::beep(750, 300);
  const auto took = std::chrono::steady_clock::now() - start;
  // Played, it lasts about its 300 ms; without a sound device it gives up at once.
  EXPECT_LT(took, std::chrono::seconds(played ? 3 : 1));
  EXPECT_TRUE(platform::beep(750, 0)) << "a tone of no length needs no device";
}

TEST(FileDeletion, TellsDeniedAccessFromOtherFailures) {
  testing_support::TempFolder root;
  const std::string file = root / "TMPOUT.WAV";
  testing_support::writeFile(file, "x");
  EXPECT_EQ(platform::deleteFile(file), platform::DeleteOutcome::Deleted);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(platform::deleteFile(file), platform::DeleteOutcome::OtherFailure);
  EXPECT_EQ(platform::classifyDeleteError(EACCES), platform::DeleteOutcome::AccessDenied);
  EXPECT_EQ(platform::classifyDeleteError(EPERM), platform::DeleteOutcome::AccessDenied);
  EXPECT_EQ(platform::classifyDeleteError(ENOENT), platform::DeleteOutcome::OtherFailure);
}

}  // namespace
