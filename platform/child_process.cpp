#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

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

// Everything the child starts with: the null device on its three standard streams, none of
// our other descriptors (the process log, an open input), default signal handling.
class SpawnSetup {
 public:
  SpawnSetup() {
    ok_ = ::posix_spawn_file_actions_init(&actions_) == 0;
    if (!ok_) return;
    ok_ = ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) ==
              0 &&
          ::posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) ==
              0 &&
          ::posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO) == 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    ok_ = ok_ && ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0;
#endif
    attributesReady_ = ::posix_spawnattr_init(&attributes_) == 0;
    ok_ = ok_ && attributesReady_;
    if (!ok_) return;
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    ok_ = ::posix_spawnattr_setsigmask(&attributes_, &noSignals) == 0 &&
          ::posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
          ::posix_spawnattr_setflags(&attributes_,
                                     POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
  }
  ~SpawnSetup() {
    ::posix_spawn_file_actions_destroy(&actions_);
    if (attributesReady_) ::posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool ok() const { return ok_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attributes_{};
  bool attributesReady_ = false;
  bool ok_ = false;
};

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

ChildOutcome runChildAndWait(const std::vector<std::string>& arguments) {
  ChildOutcome outcome;
  if (arguments.empty()) return outcome;
  const std::string program = findProgram(arguments[0]);
  if (program.empty()) return outcome;

  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  SpawnSetup setup;
  if (!setup.ok()) return outcome;
  pid_t child = 0;
  // Reports a program that cannot be executed as a failure here, not as an exit status.
  if (::posix_spawn(&child, program.c_str(), setup.actions(), setup.attributes(), argv.data(),
                    environ) != 0) {
    return outcome;
  }
  outcome.started = true;

  int status = 0;
  pid_t waited = 0;
  do {
    waited = ::waitpid(child, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited != child) return outcome;
  if (WIFEXITED(status)) {
    outcome.exitStatusRead = true;
    outcome.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    outcome.exitStatusRead = true;
    outcome.exitStatus = kSignalStatusBase + WTERMSIG(status);
  }
  return outcome;
}

}  // namespace platform
