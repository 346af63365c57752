#include "app/build_information.h"

#include <wx/defs.h>
#include <wx/version.h>

namespace app {

namespace {

// Where the program was compiled, not where it happens to run.
constexpr const char* kPlatformSuffix =
#if defined(__WINDOWS__)
    "-Windows";
#elif defined(__APPLE__)
    "-macOS";
#elif defined(__linux__)
    "-Linux";
#else
    "-Unix";
#endif

constexpr const char* kBuildSuffix = wxUSE_UNICODE ? "-Unicode build" : "-ANSI build";

}  // namespace

wxString buildInformation(BuildInformationFormat format) {
  wxString text = wxVERSION_STRING;
  if (format == BuildInformationFormat::Long) {
    text << kPlatformSuffix << kBuildSuffix;
  }
  return text;
}

}  // namespace app
