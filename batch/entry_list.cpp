#include "batch/entry_list.h"

#include <wx/dir.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "batch/job_setup.h"
#include "batch/native_path.h"
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

class Lister {
 public:
  Lister(const EntryListOptions& options, EntryList& list) : options_(options), list_(list) {}

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

 private:
  static std::string besideOf(const std::string& folder) {
    return folder + kSeparator + kOutputFolderName + kSeparator;
  }

  void add(const std::string& path, const std::string& outputFolder) {
    const std::uint64_t position = ++position_;
    if (position < options_.shardIndex ||
        (position - options_.shardIndex) % options_.shardCount != 0) {
      return;
    }
    list_.paths.Add(fromNativePath(path));
    list_.outputFolders.push_back(outputFolder);
  }

  const EntryListOptions& options_;
  EntryList& list_;
  std::uint64_t position_ = 0;
};

}  // namespace

EntryList listEntries(const std::vector<std::string>& paths, const EntryListOptions& options) {
  EntryList list;
  Lister lister(options, list);
  for (const std::string& path : paths) {
    if (platform::isFolder(path)) {
      lister.addFolder(path, path);
    } else {
      lister.addFile(path);
    }
  }
  return list;
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
