// The build information shown by the About box: which toolkit release, platform and
// character-set build the program was made with.
#pragma once

#include <wx/string.h>

namespace app {

enum class BuildInformationFormat { Short = 0, Long = 1 };

// The toolkit's version string ("wxWidgets 3.2.2"); the long form appends the platform and
// the build suffixes without separators ("wxWidgets 3.2.2-Linux-Unicode build").
wxString buildInformation(BuildInformationFormat format);

}  // namespace app
