// What makes two paths the same file: the device and inode that the system gives it, whatever
// the names, links or ".." parts that lead there.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

struct FoundFile {
  FileIdentity identity;
  // The length of a regular file; 0 for anything else.
  std::uint64_t sizeBytes = 0;
};

// The file that path names after following links; nothing when it is missing or cannot be
// looked at.
std::optional<FoundFile> findFile(const std::string& path);

// Why path cannot be opened for reading, in the system's words ("Permission denied"); nothing
// when it can.
std::optional<std::string> readFault(const std::string& path);

}  // namespace platform
