// Paths cross from the toolkit's strings to the bytes that the file system and the process
// log take, and back, with the toolkit's own file-name conversion (the one wxDir uses).
#pragma once

#include <wx/string.h>

#include <string>

namespace batch {

// Makes the toolkit's file-name conversion carry any file name, also one that is not valid
// UTF-8 (an old Latin-1 name, say): such bytes travel through the toolkit's strings and come
// back unchanged. Call once at start-up, before any folder is listed.
void useByteExactFileNames();

// The path as the file system's bytes, and back; "" for a path the conversion cannot carry.
std::string toNativePath(const wxString& path);
wxString fromNativePath(const std::string& path);

}  // namespace batch
