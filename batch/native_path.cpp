#include "batch/native_path.h"

namespace batch {

void useByteExactFileNames() {
#ifndef _WIN32
  // Invalid bytes go to the private use area and back, so the round trip is exact.
  static wxMBConvUTF8 byteExact(wxMBConvUTF8::MAP_INVALID_UTF8_TO_PUA);
  wxConvFileName = &byteExact;
#endif
}

std::string toNativePath(const wxString& path) {
  const wxCharBuffer bytes = path.fn_str();
  return bytes.data() ? std::string(bytes.data(), bytes.length()) : std::string();
}

wxString fromNativePath(const std::string& path) { return wxString(path.c_str(), *wxConvFileName); }

}  // namespace batch
