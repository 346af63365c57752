#include "platform/locks.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "tests/support/other_user.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using platform::FolderLock;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

TEST(FolderLock, SecondLockIsBusyUntilTheFirstIsReleased) {
  TempFolder folder;
  const std::string lockFile = folder / platform::kFolderLockName;
  FolderLock first;
  FolderLock second;
  EXPECT_EQ(first.acquire(folder.path().string()), FolderLock::Outcome::Held);
  EXPECT_TRUE(fs::is_regular_file(lockFile));
  EXPECT_EQ(second.acquire(folder.path().string() + "/"), FolderLock::Outcome::Busy);
  EXPECT_FALSE(second.held());

  FolderLock moved = std::move(first);
  EXPECT_FALSE(first.held());
  EXPECT_EQ(second.acquire(folder.path().string()), FolderLock::Outcome::Busy);
  moved.release();
  EXPECT_FALSE(fs::exists(lockFile));
  EXPECT_EQ(second.acquire(folder.path().string() + "/"), FolderLock::Outcome::Held);
  EXPECT_TRUE(second.held());
}

TEST(FolderLock, LockOfAKilledProcessIsFreeAgain) {
  TempFolder folder;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    FolderLock lock;
    const char held = lock.acquire(folder.path().string()) == FolderLock::Outcome::Held;
    [[maybe_unused]] const ssize_t written = ::write(ready[1], &held, 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ::close(ready[0]);
  ASSERT_TRUE(held);

  FolderLock lock;
  EXPECT_EQ(lock.acquire(folder.path().string()), FolderLock::Outcome::Busy);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  // The holder never removed its file; the lock went with the process all the same.
  EXPECT_TRUE(fs::exists(folder / platform::kFolderLockName));
  EXPECT_EQ(lock.acquire(folder.path().string()), FolderLock::Outcome::Held);
}

TEST(FolderLock, MissingFolderOrLinkedLockNameFails) {
  TempFolder folder;
  FolderLock lock;
  EXPECT_EQ(lock.acquire(folder / "missing"), FolderLock::Outcome::Failed);

  const std::string target = folder / "elsewhere";
  fs::create_symlink(target, folder / platform::kFolderLockName);
  EXPECT_EQ(lock.acquire(folder.path().string()), FolderLock::Outcome::Failed);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(lock.held());

  // Another user's lock file, left by a killed job of theirs.
  if (!testing_support::runningAsRoot()) return;
  fs::remove(folder / platform::kFolderLockName);
  writeFile(folder / platform::kFolderLockName, "");
  ASSERT_EQ(::chown((folder / platform::kFolderLockName).c_str(), testing_support::nobodyUid(), -1),
            0);
  EXPECT_EQ(lock.acquire(folder.path().string()), FolderLock::Outcome::Failed);
  EXPECT_TRUE(fs::exists(folder / platform::kFolderLockName));
}

TEST(LockedLogFile, SecondOpenFailsAndLeavesTheHeldLogAlone) {
  TempFolder folder;
  const std::string log = folder / "process.log";
  writeFile(log, "last job's log");
  platform::LockedLogFile first;
  ASSERT_TRUE(first.open(log));
  EXPECT_EQ(readFile(log), "");
  std::fputs("this job", first.stream());
  std::fflush(first.stream());

  platform::LockedLogFile second;
  EXPECT_FALSE(second.open(log));
  EXPECT_TRUE(second.busy());
  EXPECT_EQ(second.stream(), nullptr);
  EXPECT_EQ(readFile(log), "this job");

  first.close();
  EXPECT_TRUE(second.open(log));
  EXPECT_FALSE(second.busy());
  EXPECT_EQ(readFile(log), "");

  platform::LockedLogFile third;
  EXPECT_FALSE(third.open(folder / "missing/process.log"));
  EXPECT_FALSE(third.busy());
  EXPECT_FALSE(third.refused());
}

TEST(LockedLogFile, NameThatIsNotAPlainFileOfOursIsNeverWritten) {
  TempFolder folder;
  const std::string log = folder / "process.log";
  const std::string target = folder / "precious";
  std::vector<std::function<void()>> plants = {
      [&] { fs::create_symlink(folder / "missing", log); },
      [&] { fs::create_symlink(target, log); }, [&] { fs::create_hard_link(target, log); },
      [&] { ::mkfifo(log.c_str(), 0666); }};  // without a reader: must not hold the open
  if (testing_support::runningAsRoot()) {
    plants.push_back([&] {
      fs::copy_file(target, log);
      ::chown(log.c_str(), testing_support::nobodyUid(), -1);
    });
  }
  for (std::size_t plant = 0; plant < plants.size(); ++plant) {
    fs::remove_all(log);
    writeFile(target, "kept");
    plants[plant]();
    platform::LockedLogFile file;
    EXPECT_FALSE(file.open(log)) << plant;
    EXPECT_TRUE(file.refused()) << plant;
    EXPECT_FALSE(file.busy()) << plant;
    EXPECT_EQ(readFile(target), "kept") << plant;
    if (fs::is_regular_file(log)) {
      EXPECT_EQ(readFile(log), "kept") << plant;
    }
  }
  EXPECT_FALSE(fs::exists(folder / "missing"));
}

}  // namespace
