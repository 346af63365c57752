#include "platform/file_identity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

std::optional<FoundFile> findFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  FoundFile found;
  found.identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  if (S_ISREG(info.st_mode)) found.sizeBytes = static_cast<std::uint64_t>(info.st_size);
  return found;
}

std::optional<std::string> readFault(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return std::string(std::strerror(errno));
  ::close(descriptor);
  return std::nullopt;
}

}  // namespace platform
