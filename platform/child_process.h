// Starting a converter child from an argument list, and waiting for it until it ends or the
// job is asked to stop.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct ChildOutcome {
  bool started = false;         // the program was found and its process started
  bool exitStatusRead = false;  // it ended and its exit status could be read
  // Its exit code; a child ended by a signal gets 128 plus the signal number, so it counts as
  // failed like any non-zero status.
  int exitStatus = -1;
  // The wait was cut short by a stop request (see signals.h). The child, if started, has been
  // stopped and reaped, and exitStatusRead is false.
  bool interrupted = false;
};

// Started, ended on its own and exited with status 0.
inline bool childSucceeded(const ChildOutcome& outcome) {
  return outcome.started && outcome.exitStatusRead && outcome.exitStatus == 0;
}

// Runs arguments[0], found on the PATH (a name in upper case also finds its lower-case
// program), with the rest as its arguments, no shell involved. Its standard input is the null
// device and its output is discarded; it inherits no other descriptor, starts with no signal
// blocked or ignored, and runs in a process group of its own, so a Ctrl-C at the terminal
// reaches only us. A program that is not found or cannot be executed is reported as not
// started.
//
// Waits without a time limit, but notices a stop request within about 50 ms: the child's group
// then gets SIGTERM, and SIGKILL after about one second, and the child is reaped before the
// call returns. When a stop is already requested, nothing is started.
//
// The child gets SIGKILL when the thread that started it ends, so it never outlives us: the
// kernel ties this to the calling thread, not the process. The call holds that thread until
// the child is reaped, so this matters only to a thread ended some other way.
ChildOutcome runChildAndWait(const std::vector<std::string>& arguments);

// Takes the next bytes of a child's standard output; false when it wants no more.
using OutputHandler = std::function<bool(const char* bytes, std::size_t count)>;

// runChildAndWait, but the child's standard output comes to onOutput as it is written, in
// chunks, all of it before the call returns. When onOutput wants no more, the child is stopped
// as for a stop request, and the outcome says it was not read (exitStatusRead false).
ChildOutcome runChildReadingOutput(const std::vector<std::string>& arguments,
                                   const OutputHandler& onOutput);

// runChildReadingOutput, but onErrors gets the child's standard error, and its standard output
// is discarded.
ChildOutcome runChildReadingErrors(const std::vector<std::string>& arguments,
                                   const OutputHandler& onErrors);

// runChildReadingOutput, and onErrors gets the child's standard error beside it. When either
// wants no more, the child is stopped.
ChildOutcome runChildReadingOutputAndErrors(const std::vector<std::string>& arguments,
                                            const OutputHandler& onOutput,
                                            const OutputHandler& onErrors);

// The full path of the program that runChildAndWait would start, or "" when there is none.
std::string findProgram(const std::string& name);

}  // namespace platform
