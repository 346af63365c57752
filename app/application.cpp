#include "app/application.h"

#include <wx/image.h>

#include "app/main_window.h"

bool redudedoradAdi::OnInit() {
  wxInitAllImageHandlers();
  auto* window = new zevozaroridAvori(nullptr, wxID_ANY);
  window->Show(true);
  SetTopWindow(window);
  return true;
}
