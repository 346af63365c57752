// Starting a converter child from an argument list, and waiting for it.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ChildOutcome {
  bool started = false;          // the program was found and its process started
  bool exitStatusRead = false;   // it ended and its exit status could be read
  int exitStatus = -1;           // its exit code; a child killed by a signal counts as failed
};

// Runs arguments[0], found on the PATH (a name in upper case also finds its lower-case
// program), with the rest as its arguments, no shell involved. Its standard input is the null
// device and its output is discarded. Waits without a time limit.
ChildOutcome runChildAndWait(const std::vector<std::string>& arguments);

// The full path of the program that runChildAndWait would start, or "" when there is none.
std::string findProgram(const std::string& name);

}  // namespace platform
