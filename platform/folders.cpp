#include "platform/folders.h"

#include <sys/stat.h>

namespace platform {

bool createFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

}  // namespace platform
