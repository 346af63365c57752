#include "platform/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

bool createFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool removeEmptyFolder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

PathKind pathKindOf(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return PathKind::Missing;
  if (S_ISLNK(info.st_mode)) return PathKind::Link;
  if (S_ISREG(info.st_mode)) return PathKind::RegularFile;
  if (S_ISDIR(info.st_mode)) return PathKind::Folder;
  return PathKind::Other;
}

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string createPrivateFolder() {
  const char* temporary = std::getenv("TMPDIR");
  return createPrivateFolderIn(temporary && *temporary ? temporary : "/tmp", "sonbalancer-");
}

std::string createPrivateFolderIn(const std::string& parent, const std::string& prefix) {
  const std::string pattern = parent + "/" + prefix + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  return ::mkdtemp(name.data()) ? std::string(name.data()) : std::string();
}

bool isFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace platform
