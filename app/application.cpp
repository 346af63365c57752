#include "app/application.h"

#include <wx/image.h>

#include "app/main_window.h"
#include "batch/native_path.h"
#include "platform/signals.h"

bool redudedoradAdi::OnInit() {
  batch::useByteExactFileNames();
  platform::installStopSignals();
  wxInitAllImageHandlers();
  auto* window = new zevozaroridAvori(nullptr, wxID_ANY);
  window->Show(true);
  SetTopWindow(window);
  return true;
}
