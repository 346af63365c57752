// The real main window for one test, shown and settled, with the process-wide job left idle
// afterwards; and a stand-in for the user at every modal dialog the window opens.
#pragma once

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/weakref.h>

#include <functional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "batch/job_state.h"

namespace testing_support {

// Lets pending events, repaints and deferred deletions run.
void settleEvents();

// The window's control of that window name, as the given kind; null when absent or another kind.
template <class Control>
Control* findControl(wxWindow* window, const char* name) {
  return dynamic_cast<Control*>(wxWindow::FindWindowByName(name, window));
}

// Answers every modal dialog in place of the user: records it, lets `answer` look at it or
// fill it in, and returns the answer's button id without showing anything.
class ModalDialogAnswerer : public wxModalDialogHook {
 public:
  explicit ModalDialogAnswerer(std::function<int(wxDialog&)> answer) : answer_(std::move(answer)) {
    Register();
  }

  std::vector<std::string> dialogs;  // the class name of each dialog, in order

 protected:
  int Enter(wxDialog* dialog) override {
    dialogs.push_back(wxString(dialog->GetClassInfo()->GetClassName()).utf8_string());
    return answer_(*dialog);
  }

 private:
  std::function<int(wxDialog&)> answer_;
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest();
  ~MainWindowTest() override;

  template <class Control>
  Control* control(const char* name) {
    return findControl<Control>(window_.get(), name);
  }
  // Sends a click of the button with that window name, as the toolkit does.
  void click(const char* buttonName);
  // Chooses the menu item, as the toolkit does for the menu or its accelerator.
  void chooseMenuItem(int id);

  wxWeakRef<zevozaroridAvori> window_;
};

}  // namespace testing_support
