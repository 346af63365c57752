// The application object: starts the toolkit's side of the program and shows the main window.
#pragma once

#include <wx/app.h>

class redudedoradAdi : public wxApp {
 public:
  // Shows the main window and makes it the top window, then starts the job over the files and
  // folders given on the command line, if any. The base class is not asked, so no option is
  // parsed: every argument is a path.
  bool OnInit() override;
};
