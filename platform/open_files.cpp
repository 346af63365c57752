#include "platform/open_files.h"

#include <sys/resource.h>

namespace platform {

void allowOpenFilesUpToHardLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  // Refused only where the hard limit is above what the system allows at all: the soft limit
  // then stays, and the job runs as it would have.
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace platform
