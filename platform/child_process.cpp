#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "platform/signals.h"

extern char** environ;

namespace platform {

namespace {

// The exit status given to a child that a signal ended, as shells report it.
constexpr int kSignalStatusBase = 128;

bool isRunnableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

std::string searchPath(const std::string& name) {
  const char* variable = std::getenv("PATH");
  std::string path = variable ? variable : "/bin:/usr/bin";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    // An empty element stands for the working folder, as in the shell's search.
    const std::string folder = end > start ? path.substr(start, end - start) : ".";
    const std::string candidate = folder + '/' + name;
    if (isRunnableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

std::string lowerCased(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

// How often a wait looks at the stop request: the longest a stop goes unnoticed, also when its
// signal arrived just before the wait blocked.
constexpr int kStopPollMs = 50;
// How long a stopped child may take to end after SIGTERM before it gets SIGKILL.
constexpr std::chrono::milliseconds kTerminationGrace{1000};
// The exit code of a child that could not become the program; the parent reads the cause from
// the pipe and reports the program as not started.
constexpr int kCannotExecStatus = 127;

class Descriptor {
 public:
  explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return descriptor_; }
  void reset(int descriptor = -1) {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = descriptor;
  }

 private:
  int descriptor_;
};

// Everything the child needs, prepared before the fork: after it, only async-signal-safe
// calls may run, so nothing may be allocated or looked up.
struct ChildStart {
  const char* program = nullptr;
  char* const* argv = nullptr;
  char* const* environment = nullptr;
  pid_t parent = 0;
  int errorPipe = -1;           // write end, close-on-exec, above the standard streams
  int outputPipe = -1;          // write end for the child's standard output, or -1
  int errorsPipe = -1;          // write end for the child's standard error, or -1
  long descriptorLimit = 1024;  // for closing one by one when close_range is missing
};

// Closes first..last, both included; last may be far beyond the highest open descriptor.
void closeRange(unsigned first, unsigned last, long descriptorLimit) {
  if (first > last) return;
#ifdef SYS_close_range
  if (::syscall(SYS_close_range, first, last, 0) == 0) return;
#endif
  const unsigned long end = std::min<unsigned long>(last, descriptorLimit - 1);
  for (unsigned long descriptor = first; descriptor <= end; ++descriptor) {
    ::close(static_cast<int>(descriptor));
  }
}

[[noreturn]] void failInChild(int errorPipe, int errorNumber) {
  // A short write to a pipe is atomic; if it fails the parent sees a started child that
  // exits with kCannotExecStatus, which still counts as failed.
  [[maybe_unused]] const ssize_t written = ::write(errorPipe, &errorNumber, sizeof errorNumber);
  ::_exit(kCannotExecStatus);
}

// Runs in the child between fork and exec.
[[noreturn]] void becomeProgram(const ChildStart& start) {
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) failInChild(start.errorPipe, errno);
  // A parent that died before the line above would never send the signal; its orphan must not
  // go on.
  if (::getppid() != start.parent) ::_exit(kCannotExecStatus);
  if (::setpgid(0, 0) != 0) failInChild(start.errorPipe, errno);

  // Ignored signals survive exec, and our handlers must not run here: everything goes back to
  // default before the mask, blocked across the fork, is emptied.
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
    if (signalNumber != SIGKILL && signalNumber != SIGSTOP) {
      ::sigaction(signalNumber, &defaultAction, nullptr);
    }
  }
  sigset_t noSignals;
  sigemptyset(&noSignals);
  ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);

  const int null = ::open("/dev/null", O_RDWR);
  if (null < 0) failInChild(start.errorPipe, errno);
  for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
    if (stream != null && ::dup2(null, stream) < 0) failInChild(start.errorPipe, errno);
  }
  if (null > STDERR_FILENO) ::close(null);
  if (start.outputPipe >= 0 && ::dup2(start.outputPipe, STDOUT_FILENO) < 0) {
    failInChild(start.errorPipe, errno);
  }
  if (start.errorsPipe >= 0 && ::dup2(start.errorsPipe, STDERR_FILENO) < 0) {
    failInChild(start.errorPipe, errno);
  }
  const unsigned errorPipe = static_cast<unsigned>(start.errorPipe);
  closeRange(STDERR_FILENO + 1, errorPipe - 1, start.descriptorLimit);
  closeRange(errorPipe + 1, ~0U, start.descriptorLimit);

  ::execve(start.program, start.argv, start.environment);
  failInChild(start.errorPipe, errno);
}

// The child's setup writes over descriptors 0-2, so the pipe must not be one of them (a parent
// started with a standard stream closed hands them out).
int aboveStandardStreams(int descriptor) {
  if (descriptor < 0 || descriptor > STDERR_FILENO) return descriptor;
  const int moved = ::fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  ::close(descriptor);
  return moved;
}

int openPidDescriptor(pid_t child) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
#else
  (void)child;
  return -1;
#endif
}

// Gone: it cannot be waited for, reaped elsewhere (as with SIGCHLD ignored); its pid may
// already belong to another process, which must not be signalled.
enum class ChildState { Running, Ended, Gone };

// Looks without reaping: while the child is unreaped its pid, and so its process group,
// cannot be taken by another process.
ChildState stateOf(pid_t child) {
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    return errno == EINTR ? ChildState::Running : ChildState::Gone;
  }
  return info.si_pid == child ? ChildState::Ended : ChildState::Running;
}

// Sleeps up to `milliseconds`, less when the child ends meanwhile and a pid descriptor tells.
void waitForEnd(int pidDescriptor, int milliseconds = kStopPollMs) {
  if (pidDescriptor < 0) {
    ::poll(nullptr, 0, milliseconds);
    return;
  }
  pollfd ended{pidDescriptor, POLLIN, 0};
  ::poll(&ended, 1, milliseconds);
}

constexpr std::size_t kOutputChunkBytes = 64 * 1024;
// What an unprivileged process may ask for by default (/proc/sys/fs/pipe-max-size).
constexpr std::size_t kOutputPipeBytes = 1024 * 1024;
// After a read that found less than this, the pipe is left to fill for kGatherMs: a decoder
// writes a few kilobytes at a time, and waking for each costs both processes a switch. A
// decoder fills far less than the pipe in that time, so it never waits on us.
constexpr std::size_t kGatherBytes = 256 * 1024;
constexpr int kGatherMs = 1;

// One of the child's output streams as it comes, handed on in chunks; closed at its end, or
// when the reader wants no more. Without a handler it is not read and stays closed.
class OutputReader {
 public:
  OutputReader(int descriptor, const OutputHandler* handler)
      : descriptor_(descriptor), handler_(handler) {}

  bool open() const { return descriptor_.get() >= 0; }
  int descriptor() const { return descriptor_.get(); }
  bool refused() const { return refused_; }

  // Reads what is there now, without waiting; returns how many bytes that was.
  std::size_t readAvailable() {
    if (!open()) return 0;
    char chunk[kOutputChunkBytes];
    std::size_t taken = 0;
    for (;;) {
      const ssize_t got = ::read(descriptor_.get(), chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && errno == EAGAIN) return taken;
      if (got <= 0 || !(*handler_)(chunk, static_cast<std::size_t>(got))) {
        refused_ = got > 0;
        descriptor_.reset();
        return taken;
      }
      taken += static_cast<std::size_t>(got);
    }
  }

 private:
  Descriptor descriptor_;
  const OutputHandler* handler_;
  bool refused_ = false;
};

// The child's standard output and standard error.
struct ChildReaders {
  OutputReader output;
  OutputReader errors;

  bool refused() const { return output.refused() || errors.refused(); }
  std::size_t readAvailable() { return output.readAvailable() + errors.readAvailable(); }
  // Waits up to the poll interval for output on either stream or for the child's end (told by
  // a pid descriptor when there is one).
  void waitForOutputOrEnd(int pidDescriptor) const {
    pollfd watched[3];
    nfds_t count = 0;
    for (const OutputReader* reader : {&output, &errors}) {
      if (reader->open()) watched[count++] = {reader->descriptor(), POLLIN, 0};
    }
    if (pidDescriptor >= 0) watched[count++] = {pidDescriptor, POLLIN, 0};
    ::poll(count > 0 ? watched : nullptr, count, kStopPollMs);
  }
};

void signalGroup(pid_t child, int signalNumber) {
  if (::kill(-child, signalNumber) != 0) ::kill(child, signalNumber);
}

// SIGTERM to the child's group, a grace for it to end, then SIGKILL to whatever of the group
// is left, the child itself or something it started.
ChildState stopChild(pid_t child, int pidDescriptor) {
  signalGroup(child, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + kTerminationGrace;
  ChildState state = stateOf(child);
  while (state == ChildState::Running && std::chrono::steady_clock::now() < deadline) {
    waitForEnd(pidDescriptor);
    state = stateOf(child);
  }
  if (state != ChildState::Gone) signalGroup(child, SIGKILL);
  return state;
}

bool reap(pid_t child, int& status) {
  pid_t waited = 0;
  do {
    waited = ::waitpid(child, &status, 0);
  } while (waited < 0 && errno == EINTR);
  return waited == child;
}

}  // namespace

std::string findProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return isRunnableFile(name) ? name : std::string();
  std::string found = searchPath(name);
  // The command lines name the converter in either case; on a file system that tells case
  // apart, the capitals find the program installed under its lower-case name.
  if (found.empty() && lowerCased(name) != name) found = searchPath(lowerCased(name));
  return found;
}

namespace {

// The pipes between a child and us: one that brings the error of a failed exec (closed by a
// successful one), and one for each output stream that is read.
struct ChildPipes {
  Descriptor execRead;
  Descriptor execWrite;
  Descriptor outputRead;
  Descriptor outputWrite;
  Descriptor errorsRead;
  Descriptor errorsWrite;
};

bool openPipe(Descriptor& readEnd, Descriptor& writeEnd) {
  int ends[2] = {-1, -1};
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  readEnd.reset(aboveStandardStreams(ends[0]));
  writeEnd.reset(aboveStandardStreams(ends[1]));
  return readEnd.get() >= 0 && writeEnd.get() >= 0;
}

bool openReadPipe(Descriptor& readEnd, Descriptor& writeEnd) {
  if (!openPipe(readEnd, writeEnd)) return false;
  ::fcntl(readEnd.get(), F_SETFL, ::fcntl(readEnd.get(), F_GETFL) | O_NONBLOCK);
  return true;
}

bool openPipes(ChildPipes& pipes, bool outputRead, bool errorsRead) {
  if (!openPipe(pipes.execRead, pipes.execWrite) ||
      (outputRead && !openReadPipe(pipes.outputRead, pipes.outputWrite)) ||
      (errorsRead && !openReadPipe(pipes.errorsRead, pipes.errorsWrite))) {
    return false;
  }
  // A decoder's output streams by the hundred megabytes: a larger pipe lets both sides move it
  // in fewer, longer turns. Where the system refuses, the default size serves as well.
  if (outputRead) {
    ::fcntl(pipes.outputRead.get(), F_SETPIPE_SZ, static_cast<int>(kOutputPipeBytes));
  }
  return true;
}

// Forks the child that becomes program, every signal blocked across the fork so that none of
// our handlers runs in it. Our ends of its pipes are closed after. -1 when it could not fork.
pid_t forkProgram(const std::string& program, const std::vector<std::string>& arguments,
                  ChildPipes& pipes) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  ChildStart start;
  start.program = program.c_str();
  start.argv = argv.data();
  start.environment = environ;
  start.parent = ::getpid();
  start.errorPipe = pipes.execWrite.get();
  start.outputPipe = pipes.outputWrite.get();
  start.errorsPipe = pipes.errorsWrite.get();
  if (const long limit = ::sysconf(_SC_OPEN_MAX); limit > 0) start.descriptorLimit = limit;

  sigset_t allSignals;
  sigfillset(&allSignals);
  sigset_t previousMask;
  ::pthread_sigmask(SIG_SETMASK, &allSignals, &previousMask);
  const pid_t child = ::fork();
  if (child == 0) becomeProgram(start);
  ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
  pipes.execWrite.reset();
  pipes.outputWrite.reset();
  pipes.errorsWrite.reset();
  return child;
}

// The pipe closes at a successful exec, or brings the error of a failed one; either way the
// child has its own process group by then, so a stop reaches the group.
bool execSucceeded(const Descriptor& execRead) {
  int execError = 0;
  ssize_t got = 0;
  do {
    got = ::read(execRead.get(), &execError, sizeof execError);
  } while (got < 0 && errno == EINTR);
  return got <= 0;
}

// Reads the child's output while it runs; stops it when the job is asked to stop or its output
// is not wanted any more (outcome.interrupted tells which). Returns the child's state at the end.
ChildState watchChild(pid_t child, int pidDescriptor, ChildReaders& readers,
                      ChildOutcome& outcome) {
  ChildState state = stateOf(child);
  while (state == ChildState::Running && !stopRequested() && !readers.refused()) {
    readers.waitForOutputOrEnd(pidDescriptor);
    const std::size_t taken = readers.readAvailable();
    if (taken > 0 && taken < kGatherBytes) waitForEnd(pidDescriptor, kGatherMs);
    state = stateOf(child);
  }
  // What the child wrote before it ended is still in the pipes.
  if (state == ChildState::Ended) readers.readAvailable();
  if (state == ChildState::Running) {
    outcome.interrupted = !readers.refused();
    state = stopChild(child, pidDescriptor);
  }
  return state;
}

void takeExitStatus(int status, ChildOutcome& outcome) {
  if (WIFEXITED(status)) {
    outcome.exitStatusRead = true;
    outcome.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    outcome.exitStatusRead = true;
    outcome.exitStatus = kSignalStatusBase + WTERMSIG(status);
  }
}

// Our end of a pipe, moved out of pipes for its reader; -1 when that stream is not read.
int takeReadEnd(Descriptor& readEnd) {
  const int taken = readEnd.get() >= 0 ? ::dup(readEnd.get()) : -1;
  readEnd.reset();
  return taken;
}

ChildOutcome runChild(const std::vector<std::string>& arguments, const OutputHandler* onOutput,
                      const OutputHandler* onErrors) {
  ChildOutcome outcome;
  if (stopRequested()) {
    outcome.interrupted = true;
    return outcome;
  }
  if (arguments.empty()) return outcome;
  const std::string program = findProgram(arguments[0]);
  if (program.empty()) return outcome;
  ChildPipes pipes;
  if (!openPipes(pipes, onOutput != nullptr, onErrors != nullptr)) return outcome;
  const pid_t child = forkProgram(program, arguments, pipes);
  if (child < 0) return outcome;
  int status = 0;
  if (!execSucceeded(pipes.execRead)) {
    reap(child, status);
    return outcome;
  }
  outcome.started = true;

  const Descriptor pidDescriptor(openPidDescriptor(child));
  ChildReaders readers{OutputReader(takeReadEnd(pipes.outputRead), onOutput),
                       OutputReader(takeReadEnd(pipes.errorsRead), onErrors)};
  const ChildState state = watchChild(child, pidDescriptor.get(), readers, outcome);
  if (state == ChildState::Gone || !reap(child, status)) return outcome;
  if (outcome.interrupted || readers.refused()) return outcome;
  takeExitStatus(status, outcome);
  return outcome;
}

}  // namespace

ChildOutcome runChildAndWait(const std::vector<std::string>& arguments) {
  return runChild(arguments, nullptr, nullptr);
}

ChildOutcome runChildReadingOutput(const std::vector<std::string>& arguments,
                                   const OutputHandler& onOutput) {
  return runChild(arguments, &onOutput, nullptr);
}

ChildOutcome runChildReadingErrors(const std::vector<std::string>& arguments,
                                   const OutputHandler& onErrors) {
  return runChild(arguments, nullptr, &onErrors);
}

ChildOutcome runChildReadingOutputAndErrors(const std::vector<std::string>& arguments,
                                            const OutputHandler& onOutput,
                                            const OutputHandler& onErrors) {
  return runChild(arguments, &onOutput, &onErrors);
}

}  // namespace platform
