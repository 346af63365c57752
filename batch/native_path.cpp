#include "batch/native_path.h"

namespace batch {

std::string toNativePath(const wxString& path) {
  const wxCharBuffer bytes = path.fn_str();
  return bytes.data() ? std::string(bytes.data(), bytes.length()) : std::string();
}

wxString fromNativePath(const std::string& path) { return wxString(path.c_str(), *wxConvFileName); }

}  // namespace batch
