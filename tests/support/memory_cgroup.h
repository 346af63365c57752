// A memory cgroup with a limit, made below the test's own cgroup for the commands it runs, so
// that they meet a real limit as under a container or a batch scheduler; removed afterwards.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testing_support {

class MemoryCgroup {
 public:
  explicit MemoryCgroup(std::uint64_t limitBytes) {
    std::ifstream cgroups("/proc/self/cgroup");
    for (std::string line; std::getline(cgroups, line);) {
      const std::size_t first = line.find(':');
      const std::size_t second = line.find(':', first + 1);
      if (first == std::string::npos || second == std::string::npos) continue;
      const std::string controllers = "," + line.substr(first + 1, second - first - 1) + ",";
      const std::string own = line.substr(second + 1);
      if (controllers.find(",memory,") != std::string::npos) {
        if (make("/sys/fs/cgroup/memory" + own, "memory.limit_in_bytes", limitBytes)) {
          // Swap would hide the limit: the kernel would swap rather than kill.
          set("memory.memsw.limit_in_bytes", limitBytes);
          return;
        }
      } else if (controllers == ",," && make("/sys/fs/cgroup" + own, "memory.max", limitBytes)) {
        set("memory.swap.max", 0);
        return;
      }
    }
  }
  ~MemoryCgroup() {
    if (!path_.empty()) ::rmdir(path_.c_str());
  }
  MemoryCgroup(const MemoryCgroup&) = delete;
  MemoryCgroup& operator=(const MemoryCgroup&) = delete;

  // Empty when no cgroup could be made here (no cgroup file system, or not ours to write).
  const std::string& path() const { return path_; }

  // A shell command that runs command inside the cgroup.
  std::string enclosing(const std::string& command) const {
    return "sh -c 'echo $$ > " + path_ + "/cgroup.procs && exec \"$0\" \"$@\"' " + command;
  }

 private:
  bool make(const std::string& parent, const char* limitFile, std::uint64_t limitBytes) {
    const std::string path = parent + "/sonbalancer-test-" + std::to_string(::getpid());
    if (::mkdir(path.c_str(), 0755) != 0) return false;
    path_ = path;
    if (set(limitFile, limitBytes)) return true;
    ::rmdir(path.c_str());
    path_.clear();
    return false;
  }
  bool set(const char* file, std::uint64_t value) const {
    std::ofstream out(path_ + "/" + file);
    out << value << std::flush;
    return out.good();
  }

  std::string path_;
};

}  // namespace testing_support
