#include "platform/safe_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

namespace platform {

namespace {

bool writeAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The process's umask, read without setting it: umask() would change it for every thread for a
// moment.
mode_t currentUmask() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  unsigned mask = 022;
  if (!status) return mask;
  char line[128];
  while (std::fgets(line, sizeof line, status)) {
    if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
  }
  std::fclose(status);
  return static_cast<mode_t>(mask);
}

}  // namespace

int createUniqueFile(std::string& path, std::string pattern) {
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
  if (descriptor >= 0) path = name.data();
  return descriptor;
}

bool writeUniqueFile(std::string& path, const std::string& pattern, std::string_view bytes) {
  std::string written;
  const int descriptor = createUniqueFile(written, pattern);
  if (descriptor < 0) return false;
  // mkstemp's 0600 would keep the file from readers that the umask lets in.
  const bool whole =
      writeAll(descriptor, bytes) && ::fchmod(descriptor, 0666 & ~currentUmask()) == 0;
  // A full disk may show only when the last bytes reach it at the close.
  if (::close(descriptor) == 0 && whole) {
    path = std::move(written);
    return true;
  }
  ::unlink(written.c_str());
  return false;
}

bool keepUnderUniqueName(const std::string& path, std::string& keptPath,
                         const std::string& pattern) {
  std::string kept;
  const int descriptor = createUniqueFile(kept, pattern);
  if (descriptor < 0) return false;
  ::close(descriptor);
  // The name just made is given up for the link, which link() makes only where nothing
  // stands; should something be planted there meanwhile, the copy below goes to a new name.
  ::unlink(kept.c_str());
  if (::link(path.c_str(), kept.c_str()) == 0) {
    keptPath = std::move(kept);
    return true;
  }
  const int source = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (source < 0) return false;
  std::string bytes;
  char block[65536];
  ssize_t count = 0;
  while ((count = ::read(source, block, sizeof block)) != 0) {
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) break;
    bytes.append(block, static_cast<std::size_t>(count));
  }
  ::close(source);
  return count == 0 && writeUniqueFile(keptPath, pattern, bytes);
}

bool replaceFileWhole(const std::string& path, std::string_view bytes) {
  std::string partial;
  if (!writeUniqueFile(partial, path + ".XXXXXX", bytes)) return false;
  if (std::rename(partial.c_str(), path.c_str()) == 0) return true;
  ::unlink(partial.c_str());
  return false;
}

}  // namespace platform
