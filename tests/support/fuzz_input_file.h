// The file a fuzz target hands to a parser that takes a path: one per process, in a folder of
// its own that only this user can enter, rewritten with each input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/support/temp_folder.h"

namespace testing_support {

// The path of the file now holding size bytes from data.
inline const std::string& fuzzInputFile(const std::uint8_t* data, std::size_t size) {
  static const TempFolder folder;
  static const std::string path = folder / "input";
  writeFile(path, std::string(reinterpret_cast<const char*>(data), size));
  return path;
}

}  // namespace testing_support
