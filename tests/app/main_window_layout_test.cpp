// The main window as built: its ids, frame, controls, fonts, menus, status bar and dialogs.
#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/font.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/tooltip.h>

#include <set>

#include "tests/app/window_fixture.h"

using testing_support::MainWindowTest;

namespace {

using Window = zevozaroridAvori;

TEST(WindowIds, EighteenDistinctIdsTakenInTheirOrder) {
  const std::vector<wxWindowID> ids = {
      Window::ID_STATICTEXT1, Window::ID_BUTTON1,     Window::ID_BUTTON2,
      Window::ID_CHECKBOX1,   Window::ID_CHECKBOX2,   Window::ID_CHECKBOX3,
      Window::ID_BUTTON3,     Window::ID_CHECKBOX4,   Window::ID_GAUGE1,
      Window::ID_GAUGE2,      Window::ID_STATICTEXT2, Window::ID_STATICTEXT3,
      Window::ID_CHECKBOX5,   Window::ID_STATICTEXT4, Window::ID_MENU_QUIT,
      Window::ID_MENU_ABOUT,  Window::ID_STATUSBAR1,  Window::ID_TIMER1};
  EXPECT_EQ(std::set<wxWindowID>(ids.begin(), ids.end()).size(), 18u);
  for (std::size_t i = 1; i < ids.size(); ++i) EXPECT_LT(ids[i - 1], ids[i]) << "id " << i;
  for (wxWindowID id : ids) {
    EXPECT_GT(id, 0);
    EXPECT_LT(id, wxID_LOWEST) << "an id must not collide with the toolkit's standard ids";
  }
}

TEST_F(MainWindowTest, FrameHasItsTitleNameStyleAndClientArea) {
  EXPECT_EQ(window_->GetTitle(), "SonBalancer 1.70");
  EXPECT_EQ(window_->GetName(), "id");
  EXPECT_EQ(window_->GetParent(), nullptr);
  EXPECT_EQ(window_->GetWindowStyleFlag() & wxDEFAULT_FRAME_STYLE, wxDEFAULT_FRAME_STYLE);
  EXPECT_EQ(window_->GetClientSize(), wxSize(731, 481));
  EXPECT_EQ(window_->GetSizer(), nullptr);
}

TEST_F(MainWindowTest, FrameIconIsTheArtProvidersCdrom) {
  const wxBitmap art = wxArtProvider::GetBitmap(wxART_CDROM, wxART_CMN_DIALOG);
  ASSERT_TRUE(art.IsOk()) << "no icon theme provides the optical-disc icon";
  ASSERT_EQ(window_->GetIcons().GetIconCount(), 1u);
  const wxIcon icon = window_->GetIcons().GetIconByIndex(0);
  ASSERT_TRUE(icon.IsOk());
  EXPECT_EQ(icon.GetSize(), art.GetSize());
}

TEST_F(MainWindowTest, ControlsStayInPlaceWhenTheFrameIsResized) {
  window_->SetClientSize(wxSize(900, 700));
  testing_support::settleEvents();
  EXPECT_EQ(control<wxButton>("ID_BUTTON2")->GetPosition(), wxPoint(552, 384));
  EXPECT_EQ(control<wxGauge>("ID_GAUGE2")->GetRect(), wxRect(240, 224, 224, 16));
}

TEST_F(MainWindowTest, TextsAndCheckBoxesHaveTheirLabelsPlacesAndSizes) {
  struct Expected {
    const char* name;
    bool checkBox;
    wxString label;
    wxPoint position;
    wxSize size;  // wxDefaultSize: the best size for the label; a width of -1: the best width
  };
  const Expected expected[] = {
      {"ID_CHECKBOX1", true, "The tracks have no bassline", {40, 344}, wxDefaultSize},
      {"ID_CHECKBOX2", true, "Perform final MP3 encoding", {40, 368}, wxDefaultSize},
      {"ID_CHECKBOX3", true, "Ignore short clicks (vinyle records)", {40, 416}, wxDefaultSize},
      {"ID_CHECKBOX4", true, "Trace Events in a Log File", {40, 320}, wxDefaultSize},
      {"ID_STATICTEXT2", false, "GLOBAL PROGRESSION", {248, 208}, wxDefaultSize},
      {"ID_STATICTEXT3", false, "FILE IN PROCESS", {248, 152}, {368, 13}},
      {"ID_CHECKBOX5", true, "Set MP3 rate to 192K (default 128k)", {40, 392}, {-1, 13}},
      {"ID_STATICTEXT4", false, "READY", {296, 272}, {104, 22}},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    wxControl* found = e.checkBox ? static_cast<wxControl*>(control<wxCheckBox>(e.name))
                                  : static_cast<wxControl*>(control<wxStaticText>(e.name));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetLabel(), e.label);
    EXPECT_EQ(found->GetPosition(), e.position);
    const wxSize best = found->GetBestSize();
    EXPECT_EQ(found->GetSize(), e.size == wxDefaultSize ? best
                                : e.size.x == -1      ? wxSize(best.x, e.size.y)
                                                      : e.size);
    EXPECT_EQ(found->GetParent(), window_.get());
  }
}

TEST_F(MainWindowTest, HeadingIsEmpty) {
  wxStaticText* heading = control<wxStaticText>("ID_STATICTEXT1");
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(heading->GetLabel(), "");
  EXPECT_EQ(heading->GetPosition(), wxPoint(184, 40));
}

TEST_F(MainWindowTest, ButtonsShowTheirWholeLabelsWithoutCoveringTheNextButton) {
  const char* names[] = {"ID_BUTTON1", "ID_BUTTON3", "ID_BUTTON2"};
  const wxString labels[] = {"PROCESS FOLDER", "PROCESS 1 FILE", "QUITT"};
  const int lefts[] = {304, 432, 552};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(names[i]);
    wxButton* button = control<wxButton>(names[i]);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->GetLabel(), labels[i]);
    EXPECT_EQ(button->GetPosition(), wxPoint(lefts[i], 384));
    EXPECT_GE(button->GetSize().x, button->GetBestSize().x);
    EXPECT_GE(button->GetSize().y, button->GetBestSize().y);
    if (i < 2) {
      EXPECT_LT(button->GetRect().GetRight(), lefts[i + 1]);
    }
  }
}

TEST_F(MainWindowTest, OnlyTheMp3BoxIsTickedAtStart) {
  EXPECT_FALSE(control<wxCheckBox>("ID_CHECKBOX1")->GetValue());
  EXPECT_TRUE(control<wxCheckBox>("ID_CHECKBOX2")->GetValue());
  EXPECT_FALSE(control<wxCheckBox>("ID_CHECKBOX3")->GetValue());
  EXPECT_FALSE(control<wxCheckBox>("ID_CHECKBOX4")->GetValue());
  EXPECT_FALSE(control<wxCheckBox>("ID_CHECKBOX5")->GetValue());
  const app::BoxStates boxes = window_->boxStates();
  EXPECT_FALSE(boxes.log);
  EXPECT_TRUE(boxes.mp3);
  EXPECT_FALSE(boxes.mp3At192k);
  EXPECT_FALSE(boxes.noBassline);
  EXPECT_FALSE(boxes.ignoreClicks);
}

TEST_F(MainWindowTest, CheckBoxesAreReadFromTheRealBoxes) {
  control<wxCheckBox>("ID_CHECKBOX1")->SetValue(true);
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  control<wxCheckBox>("ID_CHECKBOX3")->SetValue(true);
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  control<wxCheckBox>("ID_CHECKBOX5")->SetValue(true);
  const app::BoxStates boxes = window_->boxStates();
  EXPECT_TRUE(boxes.noBassline);
  EXPECT_FALSE(boxes.mp3);
  EXPECT_TRUE(boxes.ignoreClicks);
  EXPECT_TRUE(boxes.log);
  EXPECT_TRUE(boxes.mp3At192k);
}

// Its label was cut short ("Set MP3 rate to 192K (d...") in a fixed width of 200 pixels; at
// the width it needs (see above) it must not reach under the button on its row.
TEST_F(MainWindowTest, Mp3RateBoxShowsItsWholeLabelClearOfTheButtonBesideIt) {
  wxCheckBox* box = control<wxCheckBox>("ID_CHECKBOX5");
  EXPECT_LT(box->GetRect().GetRight(), control<wxButton>("ID_BUTTON1")->GetPosition().x);
  EXPECT_EQ(box->GetToolTip(), nullptr) << "no tip stands in for a cut label";
}

TEST_F(MainWindowTest, GaugesAreHorizontalOfRangeHundredAndEmpty) {
  for (const char* name : {"ID_GAUGE1", "ID_GAUGE2"}) {
    SCOPED_TRACE(name);
    wxGauge* gauge = control<wxGauge>(name);
    ASSERT_NE(gauge, nullptr);
    EXPECT_EQ(gauge->GetRange(), 100);
    EXPECT_EQ(gauge->GetValue(), 0);
    EXPECT_FALSE(gauge->IsVertical());
    EXPECT_EQ(gauge->GetSize(), wxSize(224, 16));
  }
  EXPECT_EQ(control<wxGauge>("ID_GAUGE1")->GetPosition(), wxPoint(240, 168));
  EXPECT_EQ(control<wxGauge>("ID_GAUGE2")->GetPosition(), wxPoint(240, 224));
}

TEST_F(MainWindowTest, HeadingAndStateTextCarryTheirFonts) {
  const wxFont heading = control<wxStaticText>("ID_STATICTEXT1")->GetFont();
  EXPECT_EQ(heading.GetPointSize(), 16);
  // Only the heading's family can be asked back: the state text's face names it instead.
  EXPECT_EQ(heading.GetFamily(), wxFONTFAMILY_SWISS);
  EXPECT_EQ(heading.GetStyle(), wxFONTSTYLE_ITALIC);
  EXPECT_EQ(heading.GetWeight(), wxFONTWEIGHT_BOLD);
  EXPECT_FALSE(heading.GetUnderlined());

  const wxFont state = control<wxStaticText>("ID_STATICTEXT4")->GetFont();
  EXPECT_EQ(state.GetPointSize(), 14);
  EXPECT_EQ(state.GetFaceName(), "Arial");
  EXPECT_EQ(state.GetStyle(), wxFONTSTYLE_NORMAL);
  EXPECT_EQ(state.GetWeight(), wxFONTWEIGHT_NORMAL);
  EXPECT_FALSE(state.GetUnderlined());
}

TEST_F(MainWindowTest, EveryOtherControlKeepsTheDefaultFont) {
  const wxFont standard = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
  for (const char* name :
       {"ID_BUTTON1", "ID_BUTTON2", "ID_BUTTON3", "ID_CHECKBOX1", "ID_CHECKBOX2", "ID_CHECKBOX3",
        "ID_CHECKBOX4", "ID_CHECKBOX5", "ID_STATICTEXT2", "ID_STATICTEXT3"}) {
    SCOPED_TRACE(name);
    const wxFont font = control<wxWindow>(name)->GetFont();
    EXPECT_EQ(font.GetPointSize(), standard.GetPointSize());
    EXPECT_EQ(font.GetWeight(), wxFONTWEIGHT_NORMAL);
    EXPECT_EQ(font.GetStyle(), wxFONTSTYLE_NORMAL);
  }
}

TEST_F(MainWindowTest, MenusHoldStopQuitAndAboutWithTheirAccelerators) {
  wxMenuBar* bar = window_->GetMenuBar();
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(bar->GetMenuCount(), 3u);
  EXPECT_EQ(bar->GetMenuLabel(0), "&File");
  EXPECT_EQ(bar->GetMenuLabel(1), "Options");
  EXPECT_EQ(bar->GetMenuLabel(2), "Help");

  // The File menu also opens the last report, the results and recent folders, and stops a job
  // two ways, before Quit.
  ASSERT_EQ(bar->GetMenu(0)->GetMenuItemCount(), 6u);
  EXPECT_EQ(bar->GetMenu(0)->FindItemByPosition(1)->GetItemLabel(), "Open Results Folder");
  EXPECT_EQ(bar->GetMenu(0)->FindItemByPosition(2)->GetItemLabel(), "Recent Folders");
  EXPECT_EQ(bar->GetMenu(0)->FindItemByPosition(0)->GetId(), Window::ID_MENU_REPORT);
  EXPECT_EQ(bar->GetMenu(0)->FindItemByPosition(0)->GetItemLabel(), "Open Last Report");
  // Options holds the command's library options, as on a first run.
  wxMenu* options = bar->GetMenu(1);
  std::vector<std::string> labels;
  for (const wxMenuItem* item : options->GetMenuItems()) {
    labels.push_back(item->GetItemLabelText().utf8_string());
    if (item->IsCheckable()) {
      EXPECT_FALSE(item->IsChecked()) << labels.back();
    }
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"Include Sub-folders", "Skip Files Already Done",
                                               "Loudness Target", "Write ReplayGain Tags",
                                               "Write Tags Into WAV Files", "MP3 Rate",
                                               "Workers"}));
  EXPECT_TRUE(bar->IsChecked(Window::ID_MENU_LOUDNESS_OFF));
  EXPECT_TRUE(bar->IsChecked(Window::ID_MENU_MP3_RATE_BOX));
  EXPECT_TRUE(bar->IsChecked(Window::ID_MENU_WORKERS_AUTO));
  ASSERT_EQ(bar->GetMenu(2)->GetMenuItemCount(), 1u);

  struct Expected {
    std::size_t menu;
    std::size_t position;
    wxWindowID id;
    wxString label;
    wxString help;
    int accelFlags;
    int accelKey;
  };
  const Expected expected[] = {
      {0, 3, Window::ID_MENU_STOP, "Stop After This File\tCtrl+.",
       "Stop the job once the files in process are done", wxACCEL_CTRL, '.'},
      {0, 4, Window::ID_MENU_STOP_NOW, "Stop Now\tEsc",
       "Stop the job at once, as Ctrl-C stops the command", wxACCEL_NORMAL, WXK_ESCAPE},
      {0, 5, Window::ID_MENU_QUIT, "Quit\tAlt-F4", "Quit the application", wxACCEL_ALT, WXK_F4},
      {2, 0, Window::ID_MENU_ABOUT, "About\tF1", "Show info about this application", wxACCEL_NORMAL,
       WXK_F1},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.label);
    wxMenu* menu = bar->GetMenu(e.menu);
    wxMenuItem* item = menu->FindItemByPosition(e.position);
    EXPECT_EQ(item->GetId(), e.id);
    EXPECT_EQ(item->GetItemLabel(), e.label);
    EXPECT_EQ(item->GetHelp(), e.help);
    EXPECT_EQ(item->GetKind(), wxITEM_NORMAL);
    EXPECT_EQ(item->GetSubMenu(), nullptr);
    wxAcceleratorEntry* accel = item->GetAccel();
    ASSERT_NE(accel, nullptr);
    EXPECT_EQ(accel->GetFlags(), e.accelFlags);
    EXPECT_EQ(accel->GetKeyCode(), e.accelKey);
    delete accel;
  }
}

TEST_F(MainWindowTest, StatusBarHasOneWideEmptyFieldWithoutGrip) {
  wxStatusBar* bar = control<wxStatusBar>("ID_STATUSBAR1");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(window_->GetStatusBar(), bar);
  EXPECT_EQ(bar->GetId(), Window::ID_STATUSBAR1);
  EXPECT_EQ(bar->GetFieldsCount(), 1);
  EXPECT_EQ(bar->GetStatusWidth(0), -1);
  EXPECT_EQ(bar->GetStatusStyle(0), wxSB_NORMAL);
  EXPECT_FALSE(bar->HasFlag(wxSTB_SIZEGRIP));
  EXPECT_EQ(bar->GetStatusText(0), "");
}

TEST_F(MainWindowTest, StatusBarLeavesTheLowestControlsClear) {
  const wxRect bar = control<wxStatusBar>("ID_STATUSBAR1")->GetRect();
  for (const char* name : {"ID_CHECKBOX3", "ID_BUTTON1", "ID_BUTTON2", "ID_BUTTON3"}) {
    SCOPED_TRACE(name);
    EXPECT_LE(control<wxWindow>(name)->GetRect().GetBottom(), window_->GetClientSize().y);
  }
  EXPECT_GE(bar.GetWidth(), 731);
}

TEST_F(MainWindowTest, TimerBelongsToTheFrameAndIsStopped) {
  EXPECT_EQ(window_->timer().GetId(), Window::ID_TIMER1);
  EXPECT_EQ(window_->timer().GetOwner(), window_.get());
  EXPECT_FALSE(window_->timer().IsRunning());
}

}  // namespace
