#include <gtest/gtest.h>

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
