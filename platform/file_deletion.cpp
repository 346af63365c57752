#include "platform/file_deletion.h"

#include <unistd.h>

#include <cerrno>

namespace platform {

DeleteOutcome classifyDeleteError(int errorNumber) {
  return (errorNumber == EACCES || errorNumber == EPERM || errorNumber == EROFS ||
          errorNumber == EISDIR)
             ? DeleteOutcome::AccessDenied
             : DeleteOutcome::OtherFailure;
}

DeleteOutcome deleteFile(const std::string& path) {
  // unlink, not remove: remove would take away an empty folder of that name.
  if (::unlink(path.c_str()) == 0) return DeleteOutcome::Deleted;
  return classifyDeleteError(errno);
}

}  // namespace platform
