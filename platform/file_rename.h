// Giving a file a new name in the same file system, replacing what had that name.
#pragma once

#include <string>

namespace platform {

// Renames the file at from to to, replacing a file there. False when it failed; from is then
// unchanged.
bool renameFile(const std::string& from, const std::string& to);

}  // namespace platform
