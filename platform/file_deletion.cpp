#include "platform/file_deletion.h"

#include <cerrno>
#include <cstdio>

namespace platform {

DeleteOutcome classifyDeleteError(int errorNumber) {
  return (errorNumber == EACCES || errorNumber == EPERM || errorNumber == EROFS)
             ? DeleteOutcome::AccessDenied
             : DeleteOutcome::OtherFailure;
}

DeleteOutcome deleteFile(const std::string& path) {
  if (std::remove(path.c_str()) == 0) return DeleteOutcome::Deleted;
  return classifyDeleteError(errno);
}

}  // namespace platform
