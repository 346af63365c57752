#include "batch/entry_list.h"

#include <wx/dir.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <system_error>

#include "batch/job_setup.h"
#include "batch/native_path.h"
#include "batch/shards.h"
#include "engine/path_separator.h"
#include "platform/folders.h"

namespace batch {

namespace {

constexpr char kSeparator = engine::kPathSeparator;

std::vector<std::string> sortedNative(const wxArrayString& names) {
  std::vector<std::string> sorted;
  sorted.reserve(names.GetCount());
  for (const wxString& name : names) sorted.push_back(toNativePath(name));
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

// The sub-folders of folder to enter, by name.
std::vector<std::string> subFolders(const std::string& folder) {
  wxArrayString names;
  wxDir listing(fromNativePath(folder));
  wxString name;
  if (listing.IsOpened()) {
    // Without wxDIR_HIDDEN, hidden folders are not listed.
    for (bool found = listing.GetFirst(&name, wxEmptyString, wxDIR_DIRS); found;
         found = listing.GetNext(&name)) {
      names.Add(name);
    }
  }
  std::vector<std::string> entered;
  for (const std::string& child : sortedNative(names)) {
    if (child == kOutputFolderName) continue;
    if (platform::pathKindOf(folder + kSeparator + child) == platform::PathKind::Link) continue;
    entered.push_back(child);
  }
  return entered;
}

struct ListedEntry {
  std::string path;
  std::string outputFolder;
  std::uint64_t sizeBytes = 0;
};

class Lister {
 public:
  explicit Lister(const EntryListOptions& options) : options_(options) {}

  void addFile(const std::string& file) {
    const std::size_t separator = file.rfind(kSeparator);
    const std::string folder = separator == std::string::npos ? std::string() : file.substr(0, separator);
    add(file, options_.outputRoot.empty() ? besideOf(folder) : options_.outputRoot + kSeparator);
  }

  void addFolder(const std::string& root, const std::string& folder) {
    wxArrayString files;
    wxDir::GetAllFiles(fromNativePath(folder), &files, wxEmptyString, wxDIR_FILES);
    const std::string output = options_.outputRoot.empty()
                                   ? besideOf(folder)
                                   : options_.outputRoot + folder.substr(root.size()) + kSeparator;
    for (const std::string& file : sortedNative(files)) add(file, output);
    if (!options_.recursive) return;
    for (const std::string& child : subFolders(folder)) addFolder(root, folder + kSeparator + child);
  }

  // The entries of the shard asked for, in list order.
  EntryList take() {
    EntryList list;
    list.sources.assign(identities_.begin(), identities_.end());
    const bool sharded = options_.shardCount > 1;
    std::vector<std::size_t> folderOfEntry;
    std::vector<std::uint32_t> shardOfFolder;
    if (sharded) {
      folderOfEntry = folderIndexes();
      std::vector<std::uint64_t> folderBytes;
      for (std::size_t index = 0; index < entries_.size(); ++index) {
        if (folderOfEntry[index] == folderBytes.size()) folderBytes.push_back(0);
        folderBytes[folderOfEntry[index]] += entries_[index].sizeBytes;
      }
      shardOfFolder = dealFoldersToShards(folderBytes, options_.shardCount);
    }
    for (std::size_t index = 0; index < entries_.size(); ++index) {
      if (sharded && shardOfFolder[folderOfEntry[index]] != options_.shardIndex) continue;
      list.paths.Add(fromNativePath(entries_[index].path));
      list.outputFolders.push_back(std::move(entries_[index].outputFolder));
    }
    return list;
  }

 private:
  static std::string besideOf(const std::string& folder) {
    return folder + kSeparator + kOutputFolderName + kSeparator;
  }

  void add(const std::string& path, const std::string& outputFolder) {
    if (const std::optional<platform::FoundFile> found = platform::findFile(path)) {
      identities_.insert(found->identity);
      // The same file by another path or a link is listed once; a hard link is a name of its
      // own, in a folder of its own, and gets its own results there.
      std::error_code error;
      const std::filesystem::path resolved = std::filesystem::canonical(path, error);
      if (!resolvedPaths_.insert(error ? path : resolved.string()).second) return;
      entries_.push_back({path, outputFolder, found->sizeBytes});
    } else if (missing_.insert(path).second) {
      entries_.push_back({path, outputFolder, 0});
    }
  }

  // For each entry, its output folder counted in order of first use; two names of one folder
  // (through a link, or "..") count as one.
  std::vector<std::size_t> folderIndexes() const {
    std::map<std::string, std::size_t> byName;
    std::map<std::string, std::size_t> byResolvedName;
    std::vector<std::size_t> folderOfEntry;
    folderOfEntry.reserve(entries_.size());
    for (const ListedEntry& entry : entries_) {
      auto named = byName.find(entry.outputFolder);
      if (named == byName.end()) {
        std::error_code error;
        std::string resolved =
            std::filesystem::weakly_canonical(std::filesystem::path(entry.outputFolder), error)
                .string();
        if (error) resolved = entry.outputFolder;
        const auto known = byResolvedName.try_emplace(resolved, byResolvedName.size()).first;
        named = byName.emplace(entry.outputFolder, known->second).first;
      }
      folderOfEntry.push_back(named->second);
    }
    return folderOfEntry;
  }

  const EntryListOptions& options_;
  std::vector<ListedEntry> entries_;
  std::set<platform::FileIdentity> identities_;
  std::set<std::string> resolvedPaths_;
  std::set<std::string> missing_;
};

}  // namespace

EntryList listEntries(const std::vector<std::string>& paths, const EntryListOptions& options) {
  Lister lister(options);
  for (const std::string& path : paths) {
    if (platform::isFolder(path)) {
      lister.addFolder(path, path);
    } else {
      lister.addFile(path);
    }
  }
  return lister.take();
}

std::set<std::string> entriesOnTheirOwn(const wxArrayString& entries,
                                        const std::vector<std::string>& paths, bool recursive) {
  const std::set<std::string> given(paths.begin(), paths.end());
  std::set<std::string> alone;
  for (const wxString& entry : entries) {
    const std::string path = toNativePath(entry);
    if (given.count(path) == 0) continue;
    bool inFolderGiven = false;
    for (std::size_t end = path.rfind(kSeparator); end != std::string::npos && end > 0;
         end = path.rfind(kSeparator, end - 1)) {
      inFolderGiven = given.count(path.substr(0, end)) != 0;
      if (inFolderGiven || !recursive) break;
    }
    if (!inFolderGiven) alone.insert(path);
  }
  return alone;
}

bool readPathList(const std::string& listPath, bool nulSeparated, std::vector<std::string>& paths) {
  const bool standardInput = listPath == "-";
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      standardInput ? stdin : std::fopen(listPath.c_str(), "rb"),
      standardInput ? [](std::FILE*) { return 0; } : &std::fclose);
  if (!file) return false;
  const char end = nulSeparated ? '\0' : '\n';
  std::string path;
  for (int c = std::fgetc(file.get());; c = std::fgetc(file.get())) {
    if (c != EOF && static_cast<char>(c) != end) {
      path += static_cast<char>(c);
      continue;
    }
    if (!nulSeparated && !path.empty() && path.back() == '\r') path.pop_back();
    if (!path.empty()) paths.push_back(path);
    path.clear();
    if (c == EOF) break;
  }
  return !std::ferror(file.get());
}

bool parseShard(const std::string& text, std::uint32_t& index, std::uint32_t& count) {
  unsigned long k = 0;
  unsigned long n = 0;
  char rest = 0;
  if (std::sscanf(text.c_str(), "%lu/%lu%c", &k, &n, &rest) != 2) return false;
  if (k < 1 || n < 1 || k > n || n > UINT32_MAX) return false;
  index = static_cast<std::uint32_t>(k);
  count = static_cast<std::uint32_t>(n);
  return true;
}

}  // namespace batch
