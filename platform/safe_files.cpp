#include "platform/safe_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

int createNewFile(const std::string& path) {
  for (;;) {
    const int descriptor =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor >= 0 || errno != EINTR) return descriptor;
  }
}

int createUniqueFile(std::string& path, std::string pattern) {
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
  if (descriptor >= 0) path = name.data();
  return descriptor;
}

bool replaceFileWhole(const std::string& path, std::string_view bytes) {
  std::string partial;
  const int descriptor = createUniqueFile(partial, path + ".XXXXXX");
  if (descriptor < 0) return false;
  // mkstemp's 0600 would keep the file from readers that the umask lets in.
  const bool whole =
      writeAll(descriptor, bytes) && ::fchmod(descriptor, 0666 & ~currentUmask()) == 0;
  // A full disk may show only when the last bytes reach it at the close.
  if (::close(descriptor) == 0 && whole && std::rename(partial.c_str(), path.c_str()) == 0) {
    return true;
  }
  ::unlink(partial.c_str());
  return false;
}

}  // namespace platform
