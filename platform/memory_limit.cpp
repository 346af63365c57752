#include "platform/memory_limit.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/memory.h"

namespace platform {

namespace {

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The number at the start of text, or 0 when there is none ("max", an empty or missing file).
std::uint64_t leadingNumber(std::string_view text) {
  std::uint64_t value = 0;
  const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
  return read.ec == std::errc{} ? value : 0;
}

// The smaller of two limits, where 0 is none.
std::uint64_t tighter(std::uint64_t a, std::uint64_t b) {
  if (a == 0) return b;
  if (b == 0) return a;
  return a < b ? a : b;
}

// The tightest limit in file, read in folder and in each of its ancestors up to root:
// a cgroup's limit bounds every cgroup below it.
std::uint64_t tightestUpward(const std::string& root, std::string cgroup, const char* file) {
  std::uint64_t limit = 0;
  for (;;) {
    limit = tighter(limit, leadingNumber(fileText(root + cgroup + "/" + file)));
    if (cgroup.empty() || cgroup == "/") return limit;
    const std::size_t slash = cgroup.rfind('/');
    cgroup.resize(slash == std::string::npos ? 0 : slash);
  }
}

}  // namespace

std::uint64_t cgroupMemoryLimitBytes(const std::string& procSelfCgroup,
                                     const std::string& cgroupRoot) {
  std::uint64_t limit = 0;
  std::istringstream lines(procSelfCgroup);
  // Each line is "hierarchy-id:controllers:path"; version 2 is "0::path".
  for (std::string line; std::getline(lines, line);) {
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (line.compare(0, first, "0") == 0 && controllers.empty()) {
      limit = tighter(limit, tightestUpward(cgroupRoot, path, "memory.max"));
      limit = tighter(limit, tightestUpward(cgroupRoot + "/unified", path, "memory.max"));
      continue;
    }
    std::istringstream names(controllers);
    for (std::string name; std::getline(names, name, ',');) {
      if (name == "memory") {
        limit = tighter(limit, tightestUpward(cgroupRoot + "/memory", path, "memory.limit_in_bytes"));
      }
    }
  }
  return limit;
}

std::uint64_t availableMemoryBytes(const std::string& meminfo) {
  constexpr std::string_view kField = "MemAvailable:";
  const std::size_t at = meminfo.find(kField);
  if (at == std::string::npos) return 0;
  std::size_t digits = at + kField.size();
  while (digits < meminfo.size() && meminfo[digits] == ' ') ++digits;
  // The figure is in KiB, whatever the unit beside it says.
  return leadingNumber(std::string_view(meminfo).substr(digits)) * 1024;
}

std::uint64_t memoryAllowedBytes() {
  const std::uint64_t allowed =
      tighter(cgroupMemoryLimitBytes(fileText("/proc/self/cgroup"), "/sys/fs/cgroup"),
              availableMemoryBytes(fileText("/proc/meminfo")));
  return allowed != 0 ? allowed : physicalMemoryBytes();
}

}  // namespace platform
