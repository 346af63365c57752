// Starting a converter child from an argument list, and waiting for it.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ChildOutcome {
  bool started = false;         // the program was found and its process started
  bool exitStatusRead = false;  // it ended and its exit status could be read
  // Its exit code; a child ended by a signal gets 128 plus the signal number, so it counts as
  // failed like any non-zero status.
  int exitStatus = -1;
};

// Runs arguments[0], found on the PATH (a name in upper case also finds its lower-case
// program), with the rest as its arguments, no shell involved. Its standard input is the null
// device and its output is discarded. Waits without a time limit. A program that is not found
// or cannot be executed is reported as not started.
ChildOutcome runChildAndWait(const std::vector<std::string>& arguments);

// The full path of the program that runChildAndWait would start, or "" when there is none.
std::string findProgram(const std::string& name);

}  // namespace platform
