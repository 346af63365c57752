// Which entries a run has: the paths given, in the order given; each folder's files in the byte
// order of their names and, when asked, its sub-folders after them, depth first; the output
// folder of each entry; one shard of the whole list; and lists of paths read from a file.
#pragma once

#include <wx/arrstr.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/file_identity.h"

namespace batch {

struct EntryListOptions {
  // Folders include their sub-folders, but not hidden ones, those named "sonbalanced" (our own
  // results) or links to folders.
  bool recursive = false;
  // Empty: each entry's results go to the "sonbalanced" folder beside it. Otherwise they go
  // under this folder, which mirrors the folders below each path given.
  std::string outputRoot;
  // Only the entries whose output folders fall to shard shardIndex of shardCount, counted
  // from 1, as dealFoldersToShards deals them (the folders told apart after following links).
  std::uint32_t shardIndex = 1;
  std::uint32_t shardCount = 1;
};

struct EntryList {
  wxArrayString paths;
  // The output folder of each entry, closing separator included.
  std::vector<std::string> outputFolders;
  // Every file of the whole list, of every shard, sorted: no result may take the place of one.
  std::vector<platform::FileIdentity> sources;
};

// Lists the entries of paths, each a file or a folder given whole (absolute, no closing
// separator, as the file system's bytes). A folder's plain files are listed as the window's
// folder jobs list them: hidden files left out, every other file whatever its name. A file
// listed again, by whatever path or link, is left out; so is a missing path listed again.
EntryList listEntries(const std::vector<std::string>& paths, const EntryListOptions& options);

// The entries of list that are paths given on their own, not also met in a folder given (its
// own files, or with recursive any below it): album tags are never theirs.
std::set<std::string> entriesOnTheirOwn(const wxArrayString& entries,
                                        const std::vector<std::string>& paths, bool recursive);

// Reads one path a line from the file at listPath ("-": standard input), or paths ended by NUL
// bytes when nulSeparated. Empty lines are left out, and a carriage return ending a line is
// dropped. False when the file cannot be read.
bool readPathList(const std::string& listPath, bool nulSeparated, std::vector<std::string>& paths);

// Reads "K/N" with 1 <= K <= N; false for anything else.
bool parseShard(const std::string& text, std::uint32_t& index, std::uint32_t& count);

}  // namespace batch
