#include "batch/source_guard.h"

#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

#include "platform/file_identity.h"

namespace batch {

namespace {

namespace fs = std::filesystem;

std::optional<platform::FileIdentity> identityOf(const fs::path& path) {
  const std::optional<platform::FoundFile> found = platform::findFile(path.string());
  if (!found) return std::nullopt;
  return found->identity;
}

// path and every folder above it. The walk goes up the resolved path, so that a ".." or a link
// on the way leads where the system leads; and up from the folder that holds path's own name,
// as a link named path is replaced where it stands.
std::set<platform::FileIdentity> pathAndFoldersAbove(const fs::path& path) {
  std::set<platform::FileIdentity> identities;
  for (const fs::path& start : {path, path.parent_path()}) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(start, error);
    if (error) continue;
    for (fs::path folder = resolved;; folder = folder.parent_path()) {
      if (const std::optional<platform::FileIdentity> identity = identityOf(folder)) {
        identities.insert(*identity);
      }
      if (folder == folder.parent_path()) break;
    }
  }
  return identities;
}

}  // namespace

std::string outputAmongSources(const std::string& outputRoot, const std::vector<std::string>& paths) {
  const std::optional<platform::FileIdentity> output = identityOf(outputRoot);
  const std::set<platform::FileIdentity> outputAndAbove = pathAndFoldersAbove(outputRoot);
  for (const std::string& path : paths) {
    const std::optional<platform::FileIdentity> source = identityOf(path);
    if (!source) continue;
    if (source == output) return "is the PATH " + path;
    if (outputAndAbove.count(*source) != 0) return "lies inside the PATH " + path;
    if (output && pathAndFoldersAbove(path).count(*output) != 0) return "holds the PATH " + path;
  }
  return {};
}

}  // namespace batch
