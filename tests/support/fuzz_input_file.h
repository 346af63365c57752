// The file a fuzz target hands to a parser that takes a path: one memory file per process,
// named by its descriptor's path and rewritten with each input, so that the disk is not touched
// thousands of times a second.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace testing_support {

// The path of the file now holding size bytes from data; opening it opens the bytes anew.
inline const std::string& fuzzInputFile(const std::uint8_t* data, std::size_t size) {
  static const int descriptor = ::memfd_create("fuzz-input", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
  // A harness that cannot hand over the bytes would fuzz nothing: stop loudly.
  if (descriptor < 0 || ::ftruncate(descriptor, 0) != 0 ||
      ::pwrite(descriptor, data, size, 0) != static_cast<ssize_t>(size)) {
    std::abort();
  }
  return path;
}

}  // namespace testing_support
