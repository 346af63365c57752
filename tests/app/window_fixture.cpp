#include "tests/app/window_fixture.h"

#include <wx/button.h>
#include <wx/config.h>
#include <wx/utils.h>

#include "engine/sample_buffer.h"
#include "platform/signals.h"

namespace testing_support {

void settleEvents() {
  for (int round = 0; round < 5; ++round) {
    wxTheApp->Yield(true);
    wxTheApp->ProcessIdle();
    wxMilliSleep(5);
  }
}

MainWindowTest::MainWindowTest() {
  // Each test starts from the choices of a first run.
  wxConfigBase::Get()->DeleteAll();
  window_ = new zevozaroridAvori(nullptr);
  window_->Show(true);
  settleEvents();
}

// The window goes first: a job still running on its thread is stopped and waited for, and only
// then is the job state the test's again.
MainWindowTest::~MainWindowTest() {
  if (window_) window_->Destroy();
  settleEvents();
  batch::JobState& job = batch::theJobState();
  job.running = false;
  job.log.close();
  job.fileList.Clear();
  job.outputFolders.releaseAll();
  engine::releaseSampleBuffer(job.track.buffer);
  platform::clearStopRequest();
}

void MainWindowTest::click(const char* buttonName) {
  wxButton* button = control<wxButton>(buttonName);
  ASSERT_NE(button, nullptr) << buttonName;
  wxCommandEvent event(wxEVT_BUTTON, button->GetId());
  event.SetEventObject(button);
  button->ProcessWindowEvent(event);
}

void MainWindowTest::chooseMenuItem(int id) {
  wxCommandEvent event(wxEVT_MENU, id);
  event.SetEventObject(window_.get());
  window_->ProcessWindowEvent(event);
}

}  // namespace testing_support
