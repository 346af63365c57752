// A small file system of its own (tmpfs), mounted for one test, to meet a full disk for real.
// Mounting needs the right to mount (root); a test skips itself when it is not mounted.
#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace testing_support {

class SmallFileSystem {
 public:
  // bytes is rounded up to whole pages.
  explicit SmallFileSystem(std::size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    mounted_ = ::mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(folder_.path().c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool mounted() const { return mounted_; }
  std::string path() const { return folder_.path().string(); }
  std::string operator/(const std::string& name) const { return folder_ / name; }

  // Takes all the room left with one file: from then on every write there fails.
  void fill() const {
    const int file = ::open((folder_ / ".filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::vector<char> block(64 * 1024, '\0');
    std::size_t size = block.size();
    while (file >= 0 && size > 0) {
      if (::write(file, block.data(), size) <= 0) size /= 2;
    }
    if (file >= 0) ::close(file);
  }

 private:
  TempFolder folder_;
  bool mounted_ = false;
};

}  // namespace testing_support
