// Deleting a file and telling why it failed.
#pragma once

#include <string>

namespace platform {

// AccessDenied: no permission to remove it, or a folder stands under that name. OtherFailure:
// anything else, mostly a file that is not there.
enum class DeleteOutcome { Deleted, AccessDenied, OtherFailure };

// Removes the file at path (never a folder).
DeleteOutcome deleteFile(const std::string& path);

// How a failed deletion's system error number is reported.
DeleteOutcome classifyDeleteError(int errorNumber);

}  // namespace platform
