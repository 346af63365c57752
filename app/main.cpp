// The program's entry point: hands over to the toolkit, which creates the application object.
#include <cstdlib>

#include "app/application.h"

wxIMPLEMENT_WX_THEME_SUPPORT;
wxIMPLEMENT_APP_NO_MAIN(redudedoradAdi);

int main(int argc, char** argv) {
  // The window draws nothing through OpenGL, yet unless told so the toolkit loads the system's
  // GL driver as it starts, a tenth of a second before the window shows. A choice the user
  // made in the environment stays.
  setenv("GDK_GL", "disable", 0);
  return wxEntry(argc, argv);
}
