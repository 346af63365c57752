#include "platform/child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

// A PATH made of one folder of the test's own programs, put back afterwards.
class ScopedPath {
 public:
  explicit ScopedPath(const std::string& path) {
    if (const char* previous = std::getenv("PATH")) previous_ = previous;
    ::setenv("PATH", path.c_str(), 1);
  }
  ~ScopedPath() {
    if (previous_) ::setenv("PATH", previous_->c_str(), 1);
  }

 private:
  std::optional<std::string> previous_;
};

void writeScript(const std::string& path, const std::string& body) {
  writeFile(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
}

platform::ChildOutcome runShell(const std::string& script) {
  return platform::runChildAndWait({"sh", "-c", script});
}

TEST(ChildProcess, ReportsTheExitStatusOfAChildThatRan) {
  const platform::ChildOutcome success = platform::runChildAndWait({"true"});
  EXPECT_TRUE(success.started);
  EXPECT_TRUE(success.exitStatusRead);
  EXPECT_EQ(success.exitStatus, 0);

  const platform::ChildOutcome failure = runShell("exit 7");
  EXPECT_TRUE(failure.started);
  EXPECT_TRUE(failure.exitStatusRead);
  EXPECT_EQ(failure.exitStatus, 7);

  const platform::ChildOutcome killed = runShell("kill -9 $$");
  EXPECT_TRUE(killed.exitStatusRead);
  EXPECT_EQ(killed.exitStatus, 128 + 9);
}

TEST(ChildProcess, ProgramMissingFromThePathIsNotStarted) {
  TempFolder empty;
  ScopedPath path(empty.path());
  const platform::ChildOutcome outcome = platform::runChildAndWait({"ffmpeg", "-version"});
  EXPECT_FALSE(outcome.started);
  EXPECT_FALSE(outcome.exitStatusRead);
  EXPECT_EQ(platform::findProgram("ffmpeg"), "");
  EXPECT_FALSE(platform::runChildAndWait({}).started);
}

TEST(ChildProcess, FileThatCannotBeExecutedIsNotStarted) {
  TempFolder programs;
  writeFile(programs / "notrunnable", "plain text");
  ::chmod((programs / "notrunnable").c_str(), 0644);
  writeFile(programs / "garbage",
            "\x7f"
            "ELF garbage");
  ::chmod((programs / "garbage").c_str(), 0755);
  ScopedPath path(programs.path());
  EXPECT_FALSE(platform::runChildAndWait({"notrunnable"}).started);
  EXPECT_FALSE(platform::runChildAndWait({"garbage"}).started);
}

TEST(ChildProcess, CapitalisedNameFindsTheLowerCaseProgram) {
  TempFolder programs;
  writeScript(programs / "tool", "exit 3");
  ScopedPath path(std::string("/nonexistent:") + programs.path().string());
  EXPECT_EQ(platform::findProgram("TOOL"), programs / "tool");
  EXPECT_EQ(platform::findProgram("tool"), programs / "tool");
  EXPECT_EQ(platform::runChildAndWait({"TOOL"}).exitStatus, 3);
}

TEST(ChildProcess, ExactNameIsPreferredToItsLowerCaseForm) {
  TempFolder programs;
  writeScript(programs / "tool", "exit 3");
  writeScript(programs / "Tool", "exit 4");
  ScopedPath path(programs.path());
  EXPECT_EQ(platform::runChildAndWait({"Tool"}).exitStatus, 4);
}

TEST(ChildProcess, EveryArgumentArrivesWholeWithoutAShell) {
  TempFolder folder;
  const std::string source = folder / "My \"Best\" Ça va.txt";
  const std::string copy = folder / "copy of 'it' $HOME * ;.txt";
  writeFile(source, "tune");
  const platform::ChildOutcome outcome = platform::runChildAndWait({"cp", source, copy});
  EXPECT_EQ(outcome.exitStatus, 0);
  EXPECT_EQ(readFile(copy), "tune");
}

TEST(ChildProcess, StandardStreamsAreTheNullDeviceAndNothingElseIsInherited) {
  // A descriptor of ours that a careless start would hand on.
  TempFolder folder;
  const int ours = ::open((folder / "log.txt").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(ours, 3);
  const std::string check =
      "for fd in 0 1 2; do [ \"$(readlink /proc/$$/fd/$fd)\" = /dev/null ] || exit 1; done; "
      "[ -e /proc/$$/fd/" +
      std::to_string(ours) + " ] && exit 2; exit 0";
  EXPECT_EQ(runShell(check).exitStatus, 0);
  ::close(ours);
}

TEST(ChildProcess, SignalDuringTheWaitDoesNotEndIt) {
  struct sigaction handler {};
  handler.sa_handler = [](int) {};
  sigemptyset(&handler.sa_mask);
  handler.sa_flags = 0;  // no restart: the wait sees EINTR
  struct sigaction previous {};
  ::sigaction(SIGALRM, &handler, &previous);
  itimerval timer{};
  timer.it_value.tv_usec = 50000;
  ::setitimer(ITIMER_REAL, &timer, nullptr);

  const platform::ChildOutcome outcome = runShell("sleep 0.3; exit 5");

  ::sigaction(SIGALRM, &previous, nullptr);
  EXPECT_TRUE(outcome.exitStatusRead);
  EXPECT_EQ(outcome.exitStatus, 5);
}

}  // namespace
