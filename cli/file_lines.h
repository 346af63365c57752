// How the command names the files of a job to its user, and the line it writes for a file that
// ended without a fault when its standard error is a file or a pipe.
#pragma once

#include <string>
#include <vector>

#include "batch/entry_outcome.h"

namespace cli {

// A PATH of the command line as it was typed, and as the job was given it (absolute).
struct GivenPath {
  std::string typed;
  std::string absolute;
};

// text as it may reach a terminal or a line-per-file reader: a control character, a byte that is
// not part of UTF-8 text, and the backslash that starts an escape written as a C escape ("\n",
// "\033", "\377", "\\"), as ls -b shows names; so that no file name breaks a line or sends the
// terminal a command.
std::string printable(const std::string& text);

// text with the absolute PATH that leads it (the longest of given, followed by the end of the
// text, "/" or ": ") written as that PATH was typed, as find names what it lists: "../Music/a.mp3"
// rather than "/home/u/work/../Music/a.mp3"; below a PATH typed ".", the rest alone. text as it
// is when no PATH leads it; made printable, so that a name never reaches the user raw.
std::string shownPath(const std::vector<GivenPath>& given, const std::string& text);

// The line of a file that ended without a fault ("album/a.mp3: processed"), its name already
// shown; empty for a skip for a fault or a failure, which are notices, and for a stop.
std::string endedLine(const std::string& shownName, batch::EntryOutcome outcome);

}  // namespace cli
