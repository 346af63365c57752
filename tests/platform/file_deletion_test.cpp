#include "platform/file_deletion.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/temp_folder.h"

namespace {

TEST(FileDeletion, FolderUnderTheFileNameIsRefusedAndKept) {
  testing_support::TempFolder root;
  const std::string folder = root / "TMPOUT.WAV";
  std::filesystem::create_directory(folder);
  EXPECT_EQ(platform::deleteFile(folder), platform::DeleteOutcome::AccessDenied);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(platform::classifyDeleteError(EROFS), platform::DeleteOutcome::AccessDenied);
  EXPECT_EQ(platform::classifyDeleteError(EBUSY), platform::DeleteOutcome::OtherFailure);
}

}  // namespace
