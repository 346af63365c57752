#include "app/application.h"

#include <wx/image.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/main_window.h"
#include "batch/native_path.h"
#include "platform/signals.h"

bool redudedoradAdi::OnInit() {
  batch::useByteExactFileNames();
  platform::installStopSignals();
  wxInitAllImageHandlers();
  // The desktop notification at a job's end names the program by this.
  SetAppDisplayName("SonBalancer");
  auto* window = new zevozaroridAvori(nullptr, wxID_ANY);
  window->Show(true);
  SetTopWindow(window);
  // Files and folders given (by a file manager's "Open With") make the first job, once the
  // window is up.
  std::vector<std::string> paths;
  for (int index = 1; index < argc; ++index) {
    std::error_code error;
    const std::filesystem::path given(batch::toNativePath(argv[index]));
    // As the command takes its paths: "." parts dropped, ".." kept, as it may cross a link.
    std::filesystem::path cleaned;
    for (const auto& part : std::filesystem::absolute(given, error)) {
      if (!part.empty() && part != ".") cleaned /= part;
    }
    paths.push_back(error ? given.string() : cleaned.string());
  }
  if (!paths.empty()) window->CallAfter([window, paths] { window->startJobOver(paths); });
  return true;
}
