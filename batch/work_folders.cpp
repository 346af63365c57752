#include "batch/work_folders.h"

#include <filesystem>
#include <system_error>

#include "batch/result_names.h"
#include "engine/path_separator.h"
#include "platform/folder_trust.h"
#include "platform/folders.h"

namespace batch {

FolderClaim trustOf(const std::string& path) {
  switch (platform::folderTrust(path)) {
    case platform::FolderTrust::OtherOwner:
      return FolderClaim::OtherOwner;
    case platform::FolderTrust::OpenToOthers:
      return FolderClaim::OpenToOthers;
    case platform::FolderTrust::Ours:
    case platform::FolderTrust::Missing:
      break;
  }
  return FolderClaim::Ready;
}

void removeLeftovers(const std::string& path) {
  std::error_code error;
  for (std::filesystem::directory_iterator entry(path, error), end; !error && entry != end;
       entry.increment(error)) {
    if (!isLeftoverName(entry->path().filename().string())) continue;
    // remove_all removes a link itself, never what it points to.
    std::error_code ignored;
    std::filesystem::remove_all(entry->path(), ignored);
  }
}

std::string makeWorkFolder(const std::string& path) {
  const std::string work = platform::createPrivateFolderIn(path, kWorkFolderPrefix);
  return work.empty() ? work : work + engine::kPathSeparator;
}

FolderRefusal refusalOf(FolderClaim claim) {
  switch (claim) {
    case FolderClaim::OtherOwner:
      return {"Output folder belongs to another user - Not processed\n\n",
              "its output folder belongs to another user"};
    case FolderClaim::OpenToOthers:
      return {"Output folder is open to other users' files - Not processed\n\n",
              "others may write into its output folder (no sticky bit), which holds their files"};
    case FolderClaim::NoWorkFolder:
      return {"Output folder cannot be written into - Not processed\n\n",
              "no work folder could be made in its output folder"};
    case FolderClaim::NotCreated:
      // The log keeps the line it has always had for a folder that cannot be had.
      return {"Output folder cannot be locked - Not processed\n\n",
              "its output folder cannot be created: the folder is not writable (--output DIR puts "
              "the results elsewhere)"};
    default:
      return {"Output folder cannot be locked - Not processed\n\n",
              "its output folder could not be made or locked (.sonbalancer.lock)"};
  }
}

void removeWorkFolder(const std::string& workFolderPath) {
  if (workFolderPath.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(workFolderPath, ignored);
}

}  // namespace batch
