#include "platform/file_identity.h"

#include <sys/stat.h>

namespace platform {

std::optional<FoundFile> findFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  FoundFile found;
  found.identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  if (S_ISREG(info.st_mode)) found.sizeBytes = static_cast<std::uint64_t>(info.st_size);
  return found;
}

}  // namespace platform
