// The command's words about its own use: the help with the name of the value each option takes
// (DIR, LUFS, N) where the toolkit shows only its type, and the one line a usage error gets, with
// the known option a mistyped one was close to.
#pragma once

#include <wx/cmdline.h>

#include <string>
#include <vector>

namespace cli {

// What an option's value stands for, shown in the help in place of its type.
struct ValueName {
  const char* option;     // the long name
  const char* shortName;  // or nullptr
  const char* value;
};

// The help text: the toolkit's, its value types replaced by valueNames.
std::string helpText(const wxCmdLineParser& parser, const std::vector<ValueName>& valueNames);

// The first argument before "--" that names a long option unknown to table, as typed
// ("--recursve"); empty when there is none.
std::string unknownLongOption(const std::vector<std::string>& arguments,
                              const wxCmdLineEntryDesc* table);

// The known long option closest to a mistyped one, with its dashes ("--recursive"): the only one
// it begins, else one a few typing slips away; empty when none is close.
std::string closestLongOption(const std::string& typed, const wxCmdLineEntryDesc* table);

// Parses the command line; the toolkit's message about what it could not take, on one line, goes
// to message. Returns what wxCmdLineParser::Parse returns.
int parseQuietly(wxCmdLineParser& parser, std::string& message);

}  // namespace cli
