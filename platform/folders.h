// Folder creation.
#pragma once

#include <string>

namespace platform {

// Creates the folder; returns false when it could not be created (an existing folder too).
bool createFolder(const std::string& path);

}  // namespace platform
