// Folder creation and removal, and what kind of thing a path names.
#pragma once

#include <string>

namespace platform {

// Creates the folder; returns false when it could not be created (an existing folder too).
bool createFolder(const std::string& path);

// Removes the folder if it is empty; false when it is not, is missing, or cannot be removed.
bool removeEmptyFolder(const std::string& path);

// Other: a device, a FIFO, a socket. Missing also when the path cannot be looked at (a folder
// on the way without search permission).
enum class PathKind { Missing, RegularFile, Folder, Link, Other };

// What path itself is: a symbolic link is a Link, whatever it points to or whether it dangles.
PathKind pathKindOf(const std::string& path);

// True when path, after following links, is a regular file; false for anything else or when
// it cannot be looked at.
bool isRegularFile(const std::string& path);

// Creates a new folder of our own under the system's temporary folder ($TMPDIR, else /tmp),
// readable by us alone; "" when it cannot be made.
std::string createPrivateFolder();

// Creates a new folder of our own in parent, named prefix followed by six unpredictable
// characters, readable and writable by us alone (mode 0700); its path without a closing
// separator, or "" when it cannot be made.
std::string createPrivateFolderIn(const std::string& parent, const std::string& prefix);

// True when path, after following links, is a folder.
bool isFolder(const std::string& path);

}  // namespace platform
