// What a job checks and keeps in an output folder besides its results: whether the folder is
// the user's own to write into, the leftovers of interrupted jobs, and the private work folder
// where every temporary file of the job is written.
#pragma once

#include <string>

#include "batch/output_folders.h"

namespace batch {

// Ready when the folder at path (no closing separator) is the user's own to write into, else
// why it is not (OtherOwner, OpenToOthers). A folder that cannot be looked at is Ready here:
// taking its lock fails.
FolderClaim trustOf(const std::string& path);

// Removes from the folder at path, which the job holds, everything that isLeftoverName knows
// as an interrupted job's, work folders with all they hold. Links are removed, never followed.
void removeLeftovers(const std::string& path);

// Makes the job's private work folder in the folder at path (mode 0700, an unpredictable
// name); its path with the closing separator, or "" when it cannot be made.
std::string makeWorkFolder(const std::string& path);

// The log line and the reason for the user of an entry whose output folder was refused for
// one of the claims above (OtherOwner, OpenToOthers, NotLocked, NoWorkFolder).
struct FolderRefusal {
  const char* logLine;
  const char* reason;
};
FolderRefusal refusalOf(FolderClaim claim);

// Removes the work folder with whatever a stopped step left in it; nothing for "".
void removeWorkFolder(const std::string& workFolderPath);

}  // namespace batch
