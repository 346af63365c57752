#include "platform/child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "platform/signals.h"
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

// A child that writes its pid to pidFile, then becomes `sleep 30`; prefix runs before.
platform::ChildOutcome runLongChild(const std::string& pidFile, const std::string& prefix = "") {
  return platform::runChildAndWait(
      {"sh", "-c", prefix + "echo $$ > \"$1\"; exec sleep 30", "sh", pidFile});
}

// The pid that runLongChild wrote, once it is whole; 0 if none came within 10 s.
pid_t waitForPid(const std::string& pidFile) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = readFile(pidFile);
    if (!text.empty() && text.back() == '\n') return static_cast<pid_t>(std::stol(text));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

// A zombie that nobody reaps (an orphan whose new parent does not wait) counts as ended.
bool isRunning(pid_t pid) {
  if (::kill(pid, 0) != 0) return false;
  const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t nameEnd = stat.rfind(')');
  return nameEnd != std::string::npos && nameEnd + 2 < stat.size() && stat[nameEnd + 2] != 'Z';
}

bool endsWithin(pid_t pid, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (isRunning(pid)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Whatever a test changes in the stop state is put back, so that later tests run normally.
class StopStateGuard {
 public:
  StopStateGuard() {
    ::sigaction(SIGINT, nullptr, &previousInt_);
    ::sigaction(SIGTERM, nullptr, &previousTerm_);
  }
  ~StopStateGuard() {
    ::sigaction(SIGINT, &previousInt_, nullptr);
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
    platform::clearStopRequest();
  }

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

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

TEST(ChildProcess, ChildStartsWithNoSignalBlockedOrIgnored) {
  sigset_t user1;
  sigemptyset(&user1);
  sigaddset(&user1, SIGUSR1);
  sigset_t previousMask;
  ::pthread_sigmask(SIG_BLOCK, &user1, &previousMask);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previousPipe {};
  ::sigaction(SIGPIPE, &ignore, &previousPipe);

  // The program reads its own state: a shell between would block signals while it forks.
  const auto allZero = [](const std::string& field) {
    return platform::runChildAndWait(
               {"grep", "-Eq", "^" + field + ":[[:space:]]+0+$", "/proc/self/status"})
        .exitStatus;
  };
  const int blocked = allZero("SigBlk");
  const int ignored = allZero("SigIgn");

  ::sigaction(SIGPIPE, &previousPipe, nullptr);
  ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  EXPECT_EQ(blocked, 0);
  EXPECT_EQ(ignored, 0);
}

TEST(ChildProcess, StopFromAnotherThreadEndsAChildThatIgnoresSigterm) {
  StopStateGuard guard;
  TempFolder folder;
  const std::string pidFile = folder / "pid";
  pid_t child = 0;
  pid_t childGroup = 0;
  std::thread stopper([&] {
    child = waitForPid(pidFile);
    childGroup = ::getpgid(child);
    platform::requestStop();
  });
  const auto start = std::chrono::steady_clock::now();
  const platform::ChildOutcome outcome = runLongChild(pidFile, "trap '' TERM; ");
  const auto took = std::chrono::steady_clock::now() - start;
  stopper.join();

  ASSERT_GT(child, 0);
  EXPECT_EQ(childGroup, child) << "a terminal's Ctrl-C would reach the child too";
  EXPECT_TRUE(outcome.started);
  EXPECT_TRUE(outcome.interrupted);
  EXPECT_FALSE(outcome.exitStatusRead);
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_NE(::kill(child, 0), 0) << "stopped but not reaped";
  EXPECT_EQ(platform::stopSignal(), 0);
}

TEST(ChildProcess, SigtermToUsStopsTheChild) {
  StopStateGuard guard;
  platform::installStopSignals();
  platform::installStopSignals();
  TempFolder folder;
  const std::string pidFile = folder / "pid";
  pid_t child = 0;
  std::thread signaller([&] {
    child = waitForPid(pidFile);
    ::kill(::getpid(), SIGTERM);
  });
  const auto start = std::chrono::steady_clock::now();
  const platform::ChildOutcome outcome = runLongChild(pidFile);
  const auto took = std::chrono::steady_clock::now() - start;
  signaller.join();

  ASSERT_GT(child, 0);
  EXPECT_TRUE(outcome.interrupted);
  EXPECT_FALSE(outcome.exitStatusRead);
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_NE(::kill(child, 0), 0);
  EXPECT_EQ(platform::stopSignal(), SIGTERM);
}

TEST(ChildProcess, NothingStartsOnceAStopIsRequested) {
  StopStateGuard guard;
  TempFolder folder;
  platform::requestStop();
  const platform::ChildOutcome outcome = runShell("touch '" + (folder / "ran") + "'");
  EXPECT_FALSE(outcome.started);
  EXPECT_TRUE(outcome.interrupted);
  EXPECT_FALSE(fs::exists(folder / "ran"));
}

TEST(ChildProcess, ChildEndsWhenTheProcessWaitingForItIsKilled) {
  TempFolder folder;
  const std::string pidFile = folder / "pid";
  const pid_t waiter = ::fork();
  ASSERT_GE(waiter, 0);
  if (waiter == 0) {
    runLongChild(pidFile);
    ::_exit(0);
  }
  const pid_t child = waitForPid(pidFile);
  ::kill(waiter, SIGKILL);
  ::waitpid(waiter, nullptr, 0);
  ASSERT_GT(child, 0);
  EXPECT_TRUE(endsWithin(child, std::chrono::seconds(10)));
  if (isRunning(child)) ::kill(child, SIGKILL);
}

TEST(ChildProcess, OutputReachesTheReaderWholeAndAReaderThatHasEnoughStopsTheChild) {
  std::string read;
  const platform::ChildOutcome whole = platform::runChildReadingOutput(
      {"sh", "-c", "head -c 300000 /dev/zero | tr '\\0' x; echo end; echo noise >&2; exit 3"},
      [&](const char* bytes, std::size_t count) {
        read.append(bytes, count);
        return true;
      });
  EXPECT_TRUE(whole.exitStatusRead);
  EXPECT_EQ(whole.exitStatus, 3);
  EXPECT_EQ(read, std::string(300000, 'x') + "end\n");

  std::size_t taken = 0;
  const platform::ChildOutcome refused = platform::runChildReadingOutput(
      {"sh", "-c", "while :; do echo more; done"}, [&](const char*, std::size_t count) {
        taken += count;
        return taken < 100000;
      });
  EXPECT_TRUE(refused.started);
  EXPECT_FALSE(refused.exitStatusRead);
  EXPECT_FALSE(refused.interrupted);
  EXPECT_GE(taken, 100000u);
}

// Its errors come first and fill their pipe many times over: read one after the other, the child
// would wait for us forever.
TEST(ChildProcess, OutputAndErrorsReachTheirReadersWholeAndApart) {
  std::string output;
  std::string errors;
  const platform::ChildOutcome both = platform::runChildReadingOutputAndErrors(
      {"sh", "-c",
       "head -c 300000 /dev/zero | tr '\\0' e >&2; head -c 300000 /dev/zero | tr '\\0' o"},
      [&](const char* bytes, std::size_t count) {
        output.append(bytes, count);
        return true;
      },
      [&](const char* bytes, std::size_t count) {
        errors.append(bytes, count);
        return true;
      });
  EXPECT_TRUE(platform::childSucceeded(both));
  EXPECT_EQ(output, std::string(300000, 'o'));
  EXPECT_EQ(errors, std::string(300000, 'e'));
}

}  // namespace
