// The headless command run as a user runs it, in the background: a test can watch its files,
// signal it, and wait for its exit status and standard error.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace testing_support {

inline const std::string kHeadlessCommand =
    std::string(SONBALANCER_BINARY_DIR) + "/bin/sonbalancer-cli";

class BackgroundCommand {
 public:
  // Starts the command in folder; its standard input is the null device.
  BackgroundCommand(const std::filesystem::path& folder, const std::vector<std::string>& arguments)
      : errorFile_(streams_ / "err") {
    pid_ = ::fork();
    if (pid_ == 0) {
      std::freopen("/dev/null", "r", stdin);
      std::freopen(errorFile_.c_str(), "w", stderr);
      if (::chdir(folder.c_str()) != 0) ::_exit(127);
      std::vector<char*> argv = {const_cast<char*>(kHeadlessCommand.c_str())};
      for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      ::execv(kHeadlessCommand.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ~BackgroundCommand() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  BackgroundCommand(const BackgroundCommand&) = delete;
  BackgroundCommand& operator=(const BackgroundCommand&) = delete;

  pid_t pid() const { return pid_; }
  // True while the command runs (not yet ended, or ended and not yet waited for).
  bool running() const {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
  }
  // The exit status, or 128 + the signal that ended it.
  int wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  std::string standardError() const { return readFile(errorFile_); }

 private:
  TempFolder streams_;
  std::string errorFile_;
  pid_t pid_ = -1;
  bool waited_ = false;
};

}  // namespace testing_support
