// Running the headless command itself from a test, as a shell would, in a working folder of the
// test's own; its standard error and process log are read back from there.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/command_line.h"
#include "tests/support/temp_folder.h"

namespace testing_support {

class CommandRuns {
 public:
  // Runs the command with arguments (already quoted as needed) in the working folder; its exit
  // status, or -1 when it did not exit.
  int run(const std::string& arguments) {
    const std::string line = "cd " + shellQuoted(work_.path()) + " && " + shellQuoted(kCommand) +
                             " " + arguments + " 2>" + shellQuoted(work_ / "err") + " </dev/null";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string log() const { return readFile(work_ / "sonbalancer-log.txt"); }
  std::string standardError() const { return readFile(work_ / "err"); }

 private:
  TempFolder work_;
};

}  // namespace testing_support
