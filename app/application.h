// The application object: starts the toolkit's side of the program and shows the main window.
#pragma once

#include <wx/app.h>

class redudedoradAdi : public wxApp {
 public:
  // Shows the main window and makes it the top window. The base class is not asked, so no
  // command-line option is parsed: the program takes none.
  bool OnInit() override;
};
