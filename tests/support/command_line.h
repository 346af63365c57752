// Running the headless command as a user does: through the shell, or started in the background
// so that a test can signal it; and reading a child's output.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "tests/support/temp_folder.h"

namespace testing_support {

inline const std::string kCommand = std::string(SONBALANCER_BINARY_DIR) + "/bin/sonbalancer-cli";

inline std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

struct ShellRun {
  int exitStatus = -1;
  std::string standardError;
};

// Runs `line` (a shell command line in which $SONBALANCER stands for the command, also in the
// shells it starts) in folder; its standard input is empty.
inline ShellRun runInShell(const std::filesystem::path& folder, const std::string& line) {
  TempFolder streams;
  const std::string whole = "cd " + shellQuoted(folder.string()) + " && export SONBALANCER=" +
                            shellQuoted(kCommand) + " && (" + line + ") 2>" +
                            shellQuoted(streams / "err") + " </dev/null";
  const int status = std::system(whole.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(streams / "err")};
}

// What a child writes on its standard output.
inline std::string outputOf(const std::vector<std::string>& arguments) {
  std::string text;
  platform::runChildReadingOutput(arguments, [&text](const char* bytes, std::size_t count) {
    text.append(bytes, count);
    return true;
  });
  return text;
}

// The command started in the background in folder, with PATH as given; killed if not waited.
class RunningCommand {
 public:
  RunningCommand(const std::filesystem::path& folder, const std::vector<std::string>& arguments,
                 const std::string& path = std::getenv("PATH"))
      : errorFile_(streams_ / "err") {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setenv("PATH", path.c_str(), 1);
      std::freopen("/dev/null", "r", stdin);
      std::freopen(errorFile_.c_str(), "w", stderr);
      if (::chdir(folder.c_str()) != 0) ::_exit(127);
      std::vector<char*> argv = {const_cast<char*>(kCommand.c_str())};
      for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      ::execv(kCommand.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ~RunningCommand() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  RunningCommand(const RunningCommand&) = delete;
  RunningCommand& operator=(const RunningCommand&) = delete;

  pid_t pid() const { return pid_; }
  // True while the process runs (not yet ended, or ended but not waited for).
  bool running() const {
    const std::string stat = readFile("/proc/" + std::to_string(pid_) + "/stat");
    return !waited_ && !stat.empty() && stat.find(") Z ") == std::string::npos;
  }
  // The exit status, or 128 + signal.
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
