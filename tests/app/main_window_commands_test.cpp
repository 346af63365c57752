// The commands the main window handles itself: Quit by button, menu and accelerator, and About.

#include <wx/image.h>
#include <wx/msgdlg.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include "app/build_information.h"
#include "engine/sample_buffer.h"
#include "tests/app/window_fixture.h"

using testing_support::MainWindowTest;
using testing_support::ModalDialogAnswerer;
using testing_support::settleEvents;

namespace {

using Window = zevozaroridAvori;

int refuse(wxDialog&) { return wxID_CANCEL; }

class QuitCommand : public MainWindowTest {
 protected:
  bool closed() {
    settleEvents();
    return !window_;
  }
};

TEST_F(QuitCommand, ButtonClosesTheIdleWindow) {
  click("ID_BUTTON2");
  EXPECT_TRUE(closed());
}

TEST_F(QuitCommand, MenuItemClosesTheIdleWindow) {
  chooseMenuItem(Window::ID_MENU_QUIT);
  EXPECT_TRUE(closed());
}

TEST_F(QuitCommand, FreesTheSampleBufferLeftByEarlierTracks) {
  engine::SampleBuffer& buffer = batch::theJobState().track.buffer;
  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, 4096));
  click("ID_BUTTON2");
  EXPECT_EQ(buffer.bytes, nullptr);
  EXPECT_EQ(buffer.capacity, 0u);
  EXPECT_TRUE(closed());
}

TEST_F(QuitCommand, IsRefusedWithoutTraceWhileAJobRuns) {
  batch::JobState& job = batch::theJobState();
  ASSERT_TRUE(engine::obtainSampleBuffer(job.track.buffer, 4096));
  job.running = true;
  ModalDialogAnswerer answerer(refuse);

  click("ID_BUTTON2");
  chooseMenuItem(Window::ID_MENU_QUIT);

  EXPECT_FALSE(closed());
  EXPECT_FALSE(window_->IsBeingDeleted());
  EXPECT_NE(job.track.buffer.bytes, nullptr);
  EXPECT_EQ(job.track.buffer.capacity, 4096u);
  EXPECT_TRUE(answerer.dialogs.empty());
}

TEST_F(QuitCommand, TitleBarCloseIsNotHeldBackByARunningJob) {
  batch::theJobState().running = true;
  window_->Close(false);
  EXPECT_TRUE(closed());
}

// The accelerators, typed as a user would on the real window.
class Accelerators : public MainWindowTest {
 protected:
  void type(int key, int modifiers) {
    window_->Raise();
    window_->SetFocus();
    settleEvents();
    wxUIActionSimulator user;
    user.MouseMove(window_->ClientToScreen(wxPoint(600, 100)));
    settleEvents();
    user.KeyDown(key, modifiers);
    user.KeyUp(key, modifiers);
    settleEvents();
  }
};

TEST_F(Accelerators, AltF4Quits) {
  type(WXK_F4, wxMOD_ALT);
  settleEvents();
  EXPECT_FALSE(window_);
}

TEST_F(Accelerators, F1ShowsAbout) {
  ModalDialogAnswerer answerer([](wxDialog&) { return wxID_OK; });
  type(WXK_F1, wxMOD_NONE);
  EXPECT_EQ(answerer.dialogs, (std::vector<std::string>{"wxMessageDialog"}));
}

TEST(Application, ShowsTheMainWindowAsTopWindowAtStart) {
  ASSERT_TRUE(wxTheApp->OnInit());
  wxWeakRef<wxWindow> top = wxTheApp->GetTopWindow();
  ASSERT_NE(dynamic_cast<zevozaroridAvori*>(top.get()), nullptr);
  EXPECT_TRUE(top->IsShown());
  EXPECT_NE(wxImage::FindHandler(wxBITMAP_TYPE_PNG), nullptr);
  top->Destroy();
  settleEvents();
  EXPECT_FALSE(top);
}

TEST(BuildInformation, LongFormJoinsVersionPlatformAndBuild) {
  EXPECT_EQ(app::buildInformation(app::BuildInformationFormat::Short), wxVERSION_STRING);
  EXPECT_EQ(app::buildInformation(app::BuildInformationFormat::Long),
            wxString(wxVERSION_STRING) + "-Linux-Unicode build");
  EXPECT_TRUE(app::buildInformation(app::BuildInformationFormat::Short).StartsWith("wxWidgets 3."));
}

TEST_F(MainWindowTest, AboutNamesTheProgramItsVersionWhatItDoesAndTheBuildInAnOkBox) {
  wxString message, caption;
  long style = 0;
  ModalDialogAnswerer answerer([&](wxDialog& dialog) {
    auto& box = dynamic_cast<wxMessageDialog&>(dialog);
    message = box.GetMessage();
    caption = box.GetTitle();
    style = box.GetMessageDialogStyle();
    return wxID_OK;
  });
  chooseMenuItem(Window::ID_MENU_ABOUT);
  ASSERT_EQ(answerer.dialogs.size(), 1u);
  EXPECT_EQ(message, "SonBalancer 1.70\nEvens out the tonal balance and level of music tracks.\n\n" +
                         app::buildInformation(app::BuildInformationFormat::Long));
  EXPECT_EQ(caption, "About SonBalancer");
  EXPECT_TRUE((style & wxOK) && (style & wxCENTRE));
  EXPECT_FALSE(style & (wxCANCEL | wxYES_NO));
}

TEST_F(MainWindowTest, AboutIsShownWhileAJobRuns) {
  batch::theJobState().running = true;
  ModalDialogAnswerer answerer([](wxDialog&) { return wxID_OK; });
  chooseMenuItem(Window::ID_MENU_ABOUT);
  EXPECT_EQ(answerer.dialogs.size(), 1u);
}

}  // namespace
