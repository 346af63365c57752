#include "platform/folder_trust.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace platform {

namespace {

bool writableByOthers(const struct stat& folder) {
  if (folder.st_mode & S_ISVTX) return false;
  return (folder.st_mode & S_IWOTH) || ((folder.st_mode & S_IWGRP) && folder.st_gid != ::getegid());
}

// True when every entry of the open folder belongs to owner; false also when it cannot be read.
bool everyEntryBelongsTo(int folder, uid_t owner) {
  const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return false;
  DIR* entries = ::fdopendir(listing);
  if (!entries) {
    ::close(listing);
    return false;
  }
  bool ours = true;
  while (const dirent* entry = ::readdir(entries)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    struct stat info {};
    if (::fstatat(::dirfd(entries), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        info.st_uid != owner) {
      ours = false;
      break;
    }
  }
  ::closedir(entries);
  return ours;
}

}  // namespace

FolderTrust folderTrust(const std::string& path) {
  // O_PATH: the owner and mode are read also from a folder we may not list.
  const int folder = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return FolderTrust::Missing;
  struct stat info {};
  FolderTrust trust = FolderTrust::Missing;
  if (::fstat(folder, &info) == 0) {
    const uid_t user = ::geteuid();
    if (info.st_uid != user) {
      trust = FolderTrust::OtherOwner;
    } else if (writableByOthers(info) && !everyEntryBelongsTo(folder, user)) {
      trust = FolderTrust::OpenToOthers;
    } else {
      trust = FolderTrust::Ours;
    }
  }
  ::close(folder);
  return trust;
}

}  // namespace platform
