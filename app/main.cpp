// The program's entry point: hands over to the toolkit, which creates the application object.
#include "app/application.h"

wxIMPLEMENT_APP(redudedoradAdi);
