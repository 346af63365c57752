// Where a job writes its temporary files: its private work folder in an output folder.
#pragma once

#include <filesystem>
#include <string>

#include "batch/result_names.h"

namespace testing_support {

// The work folder in outputFolder (which ends with the separator), closing separator
// included; "" when there is none.
inline std::string workFolderIn(const std::string& outputFolder) {
  std::error_code error;
  for (std::filesystem::directory_iterator entry(outputFolder, error), end; !error && entry != end;
       entry.increment(error)) {
    if (entry->path().filename().string().starts_with(batch::kWorkFolderPrefix)) {
      return entry->path().string() + "/";
    }
  }
  return "";
}

}  // namespace testing_support
