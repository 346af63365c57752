#include "app/application.h"

#include <wx/image.h>

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
  return true;
}
