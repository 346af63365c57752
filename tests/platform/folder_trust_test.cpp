#include "platform/folder_trust.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/other_user.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using platform::FolderTrust;
using testing_support::TempFolder;

namespace {

TEST(FolderTrust, LinkOrNothingIsMissingAndAPrivateFolderOurs) {
  TempFolder folder;
  EXPECT_EQ(platform::folderTrust(folder.path().string()), FolderTrust::Ours);
  fs::create_directory_symlink(folder.path(), folder / "link");
  EXPECT_EQ(platform::folderTrust(folder / "link"), FolderTrust::Missing);
  EXPECT_EQ(platform::folderTrust(folder / "none"), FolderTrust::Missing);
}

TEST(FolderTrust, FolderOthersMayWriteIntoIsOursOnlyWhileAllOfItIs) {
  if (!testing_support::runningAsRoot()) GTEST_SKIP() << "another user's files need root";
  TempFolder folder;
  const std::string path = folder.path().string();
  testing_support::writeFile(folder / "theirs", "");
  const group* nogroup = ::getgrnam("nogroup");
  ASSERT_NE(nogroup, nullptr);
  // Writable by all, then by a group that is not ours: open to others while their file is there.
  for (const auto& [mode, group] :
       {std::pair{fs::perms::all, ::getegid()},
        std::pair{fs::perms::owner_all | fs::perms::group_all, nogroup->gr_gid}}) {
    fs::permissions(path, mode);
    ASSERT_EQ(::chown(path.c_str(), ::geteuid(), group), 0);
    ASSERT_EQ(::chown((folder / "theirs").c_str(), ::geteuid(), -1), 0);
    EXPECT_EQ(platform::folderTrust(path), FolderTrust::Ours);
    ASSERT_EQ(::chown((folder / "theirs").c_str(), testing_support::nobodyUid(), -1), 0);
    EXPECT_EQ(platform::folderTrust(path), FolderTrust::OpenToOthers);
    // The sticky bit keeps each user's files from the others.
    fs::permissions(path, fs::perms::sticky_bit, fs::perm_options::add);
    EXPECT_EQ(platform::folderTrust(path), FolderTrust::Ours);
  }
  ASSERT_EQ(::chown(path.c_str(), testing_support::nobodyUid(), -1), 0);
  fs::permissions(path, fs::perms::owner_all);
  EXPECT_EQ(platform::folderTrust(path), FolderTrust::OtherOwner);
}

}  // namespace
