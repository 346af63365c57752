#include "platform/file_rename.h"

#include <cstdio>

namespace platform {

bool renameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace platform
