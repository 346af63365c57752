// Runs the window tests inside one toolkit session. The toolkit starts only when the tests
// run, not when they are merely listed, so listing works without a display.
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/config.h>
#include <wx/debug.h>
#include <wx/fileconf.h>
#include <wx/init.h>
#include <wx/log.h>

#include <cstdio>
#include <cstdlib>

#include "app/application.h"

namespace {

// A toolkit assertion fails the test at hand instead of stopping the run with a dialog.
void failOnToolkitAssert(const wxString& file, int line, const wxString& function,
                         const wxString& condition, const wxString& message) {
  ADD_FAILURE_AT(file.utf8_string().c_str(), line)
      << "toolkit assertion " << condition.utf8_string() << " in " << function.utf8_string() << ": "
      << message.utf8_string();
}

bool startToolkit(int argc, char** argv) {
  wxSetAssertHandler(failOnToolkitAssert);
  wxApp::SetInstance(new redudedoradAdi);
  if (!wxEntryStart(argc, argv)) return false;
  // Logged messages go to the test output; the toolkit would otherwise gather them into a
  // message box that waits for a click.
  delete wxLog::SetActiveTarget(new wxLogStderr);
  // The choices the window remembers go to a file of this run, never to the user's own.
  char configPath[] = "/tmp/sonbalancer-test-config-XXXXXX";
  const int descriptor = ::mkstemp(configPath);
  if (descriptor < 0) return false;
  ::close(descriptor);
  wxConfigBase::Set(new wxFileConfig(wxEmptyString, wxEmptyString, configPath, wxEmptyString,
                                     wxCONFIG_USE_LOCAL_FILE));
  std::atexit([] { delete wxConfigBase::Set(nullptr); });
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (!startToolkit(argc, argv)) {
    std::fprintf(stderr,
                 "app_tests: the window tests need a display; set DISPLAY, for instance to an Xvfb "
                 "server\n");
    return 1;
  }
  const int result = RUN_ALL_TESTS();
  wxEntryCleanup();
  return result;
}
