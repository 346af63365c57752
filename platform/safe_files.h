// Files created so that nothing another user planted is ever written through: a link or an
// existing file at the name makes the creation fail instead of being followed or truncated.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Creates path as a new regular file (O_CREAT | O_EXCL | O_NOFOLLOW, mode 0666 less the umask)
// and returns its open descriptor, close-on-exec; -1 when anything, a dangling link included,
// already stands at path or it cannot be created.
int createNewFile(const std::string& path);

// A new file with an unpredictable name made from pattern, whose last six characters are
// "XXXXXX" (mkstemp), mode 0600; its open descriptor, close-on-exec, and in path the name it
// took; -1 when none could be made.
int createUniqueFile(std::string& path, std::string pattern);

// Writes bytes to a new unpredictably named file beside path and renames it over path, so a
// reader sees the old file or the whole new one, never a part, and a link at path is replaced
// rather than written through. False, with nothing left behind, when any write, the close or
// the rename failed.
bool replaceFileWhole(const std::string& path, std::string_view bytes);

}  // namespace platform
