// Paths cross from the toolkit's strings to the bytes that the file system and the process
// log take, and back, with the toolkit's own file-name conversion (the one wxDir uses).
#pragma once

#include <string>

#include <wx/string.h>

namespace batch {

std::string toNativePath(const wxString& path);
wxString fromNativePath(const std::string& path);

}  // namespace batch
