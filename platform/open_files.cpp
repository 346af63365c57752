#include "platform/open_files.h"

#include <sys/resource.h>

#include <algorithm>

namespace platform {

void allowOpenFilesForALibrary() {
  // Far more output folders than a library has, and few enough that a child started without
  // close_range still closes what it inherits in a moment.
  constexpr rlim_t kEnough = 65536;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  const rlim_t wanted = std::min(limit.rlim_max, kEnough);
  if (limit.rlim_cur >= wanted) return;
  limit.rlim_cur = wanted;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace platform
