// Files created so that nothing another user planted is ever written through: a link or an
// existing file at the name makes the creation fail instead of being followed or truncated.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// A new file with an unpredictable name made from pattern, whose last six characters are
// "XXXXXX" (mkstemp), mode 0600; its open descriptor, close-on-exec, and in path the name it
// took; -1 when none could be made.
int createUniqueFile(std::string& path, std::string pattern);

// Writes bytes to a new file with an unpredictable name made from pattern (as for
// createUniqueFile), with mode 0666 less the umask, and closes it; in path the name it took.
// False, with nothing left behind, when it could not be made or written whole.
bool writeUniqueFile(std::string& path, const std::string& pattern, std::string_view bytes);

// Keeps what the regular file at path holds under a new unpredictable name made from pattern:
// a second link to it where the file system allows, else a copy. keptPath gets the name.
// False, with nothing left behind, when neither could be made; a link or anything else at the
// new name is never written through.
bool keepUnderUniqueName(const std::string& path, std::string& keptPath,
                         const std::string& pattern);

// Writes bytes to a new unpredictably named file beside path and renames it over path, so a
// reader sees the old file or the whole new one, never a part, and a link at path is replaced
// rather than written through. False, with nothing left behind, when any write, the close or
// the rename failed.
bool replaceFileWhole(const std::string& path, std::string_view bytes);

}  // namespace platform
