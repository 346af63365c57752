#include "batch/output_folders.h"

#include "batch/work_folders.h"
#include "engine/path_separator.h"
#include "platform/folders.h"
#include "platform/lock_wait.h"

namespace batch {

namespace {

std::string withoutClosingSeparator(const std::string& path) {
  return path.size() > 1 && path.back() == engine::kPathSeparator ? path.substr(0, path.size() - 1) : path;
}

// An output folder elsewhere mirrors the tree of the sources, so the folders above it may be
// missing too.
void createParents(const std::string& folder) {
  for (std::size_t separator = folder.find(engine::kPathSeparator, 1);
       separator != std::string::npos;
       separator = folder.find(engine::kPathSeparator, separator + 1)) {
    const std::string parent = folder.substr(0, separator);
    if (platform::pathKindOf(parent) == platform::PathKind::Missing) platform::createFolder(parent);
  }
}

}  // namespace

OutputFolder& OutputFolders::claim(const std::string& path) {
  if (OutputFolder* known = find(path)) return *known;
  OutputFolder& folder = folders_.emplace_back();
  folder.path = path;
  const std::string bare = withoutClosingSeparator(path);
  switch (platform::pathKindOf(bare)) {
    case platform::PathKind::Missing:
      createParents(bare);
      folder.createdByJob = platform::createFolder(bare);
      if (!folder.createdByJob && platform::pathKindOf(bare) == platform::PathKind::Missing) {
        folder.claim = FolderClaim::NotCreated;
        return folder;
      }
      break;
    case platform::PathKind::Folder:
      break;
    case platform::PathKind::Link:
    case platform::PathKind::RegularFile:
    case platform::PathKind::Other:
      folder.claim = FolderClaim::NotAFolder;
      return folder;
  }
  folder.claim = trustOf(bare);
  if (folder.claim != FolderClaim::Ready) return folder;
  switch (platform::acquireWaiting(folder.lock, bare, busyWaitMs_)) {
    case platform::FolderLock::Outcome::Held:
      removeLeftovers(bare);
      folder.workFolderPath = makeWorkFolder(bare);
      if (folder.workFolderPath.empty()) folder.claim = FolderClaim::NoWorkFolder;
      break;
    case platform::FolderLock::Outcome::Busy:
      folder.claim = FolderClaim::InUse;
      break;
    case platform::FolderLock::Outcome::Failed:
      folder.claim = FolderClaim::NotLocked;
      break;
  }
  return folder;
}

OutputFolder* OutputFolders::find(const std::string& path) {
  for (OutputFolder& folder : folders_) {
    if (folder.path == path) return &folder;
  }
  return nullptr;
}

void OutputFolders::releaseAll() {
  for (OutputFolder& folder : folders_) {
    removeWorkFolder(folder.workFolderPath);
    folder.lock.release();
    if (folder.createdByJob && !folder.somethingSaved) {
      platform::removeEmptyFolder(withoutClosingSeparator(folder.path));
    }
  }
  folders_.clear();
}

}  // namespace batch
