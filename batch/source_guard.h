// Keeping results off their sources: an output folder for a whole job must neither be a source
// folder, nor lie inside one, nor hold one, or results would land on the files being read.
#pragma once

#include <string>
#include <vector>

namespace batch {

// Why results under outputRoot could land among the sources at paths (files and folders, as
// listEntries takes them), or "" when they cannot. The paths are compared as the files they
// name, after following links and "..": by device and inode, folder by folder up to the root.
// Paths that do not exist are left out; so is the part of outputRoot not made yet.
std::string outputAmongSources(const std::string& outputRoot, const std::vector<std::string>& paths);

}  // namespace batch
