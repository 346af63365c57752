// Whether a folder is ours to write into: a folder that another user owns, or may plant files
// in, could hold a link or a file of theirs at any name the job is about to use.
#pragma once

#include <string>

namespace platform {

enum class FolderTrust {
  Ours,          // ours, and no one else may add or remove files in it
  OtherOwner,    // belongs to another user
  OpenToOthers,  // others may write into it, without the sticky bit, and it holds their files
  Missing,       // nothing, or no folder, can be looked at there
};

// Judges the folder at path itself (a link there is Missing). It is open to others when anyone
// may write into it, or its group may and that group is not the process's own, unless the
// sticky bit keeps them from each other's files. Such a folder still counts as ours while it
// and every entry in it belong to the user the process runs as.
FolderTrust folderTrust(const std::string& path);

}  // namespace platform
