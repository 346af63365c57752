// The main window as the job's window: the two process commands with their dialogs, a drop of
// files, Stop After This File, the desktop notice at a job's end, the job set-up run against the
// real controls and timer, and what the batch controller sets.
#include <wx/checkbox.h>
#include <wx/dirdlg.h>
#include <wx/dnd.h>
#include <wx/filedlg.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/utils.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/job_end_notice.h"
#include "batch/job_setup.h"
#include "batch/native_path.h"
#include "tests/app/window_fixture.h"
#include "tests/support/media_files.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::MainWindowTest;
using testing_support::ModalDialogAnswerer;
using testing_support::readFile;
using testing_support::settleEvents;
using testing_support::TempFolder;
using testing_support::WorkingFolder;
using testing_support::writeFile;

namespace {

// Runs the event loop for about the given time, so that the timer can fire.
void runEventsFor(std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
    wxTheApp->Yield(true);
    wxMilliSleep(5);
  }
}

class JobWindowTest : public MainWindowTest {
 protected:
  JobWindowTest() : work_(workFolder_.path()) {
    fs::create_directory(music());
    writeFile(music() + "/a.mp3", "x");
    writeFile(music() + "/b.txt", "x");
    writeFile(music() + "/.hidden", "x");
    fs::create_directory(music() + "/x");
  }

  std::string music() const { return musicRoot_ / "Music"; }
  std::string logPath() const { return workFolder_ / batch::kProcessLogName; }
  wxString stateText() { return control<wxStaticText>("ID_STATICTEXT4")->GetLabel(); }
  wxGauge* fileGauge() { return control<wxGauge>("ID_GAUGE1"); }
  wxGauge* globalGauge() { return control<wxGauge>("ID_GAUGE2"); }
  wxString statusText() { return control<wxStatusBar>("ID_STATUSBAR1")->GetStatusText(0); }
  bool stopOffered() { return window_->GetMenuBar()->IsEnabled(zevozaroridAvori::ID_MENU_STOP); }

  // Runs the window's own timer until the job ends, or for at most 20 seconds.
  void runJobToItsEnd() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (batch::theJobState().running && std::chrono::steady_clock::now() < end) {
      runEventsFor(std::chrono::milliseconds(20));
    }
  }

  // Drops a text/uri-list, as file managers and the desktop send it, on the window's drop
  // target; the toolkit decodes it as it does for a real drag.
  bool drop(const std::string& uriList) {
    auto* target = dynamic_cast<wxFileDropTarget*>(window_->GetDropTarget());
    if (target == nullptr) {
      ADD_FAILURE() << "the window takes no file drop";
      return false;
    }
    auto& files = dynamic_cast<wxFileDataObject&>(*target->GetDataObject());
    files.SetData(wxDF_FILENAME, uriList.size() + 1, uriList.c_str());
    return target->OnDropFiles(20, 20, files.GetFilenames());
  }

  TempFolder workFolder_;
  TempFolder musicRoot_;
  WorkingFolder work_;
};

TEST_F(JobWindowTest, FolderJobStartsOnTheRealWindow) {
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  window_->setFileGauge(37);
  window_->setGlobalGauge(100);

  ASSERT_TRUE(batch::startJob(batch::theJobState(), *window_, batch::JobMode::Folder, music()));

  EXPECT_EQ(stateText(), "RUNNING");
  EXPECT_TRUE(window_->timer().IsRunning());
  EXPECT_EQ(window_->timer().GetInterval(), 150);
  EXPECT_FALSE(window_->timer().IsOneShot());
  EXPECT_EQ(fileGauge()->GetValue(), 0);
  EXPECT_EQ(globalGauge()->GetValue(), 100) << "the global gauge keeps the last job's value";
  EXPECT_TRUE(fs::is_directory(music() + "/sonbalanced"));
  EXPECT_EQ(batch::theJobState().fileCount, 2u);
  EXPECT_TRUE(batch::theJobState().mp3Requested);
  batch::theJobState().log.close();
  EXPECT_EQ(readFile(logPath()),
            "SonBalancer V1.70 - PROCESS LOG FILE\n"
            "------------------------------------\nMODE: MULTIPLE FILE (FOLDER) PROCESS\n\n"
            "SOURCE PATH: " +
                music() + "\n\n");
}

TEST_F(JobWindowTest, UntickedBoxesAreReadFromTheRealWindow) {
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  ASSERT_TRUE(batch::startJob(batch::theJobState(), *window_, batch::JobMode::SingleFile,
                              music() + "/a.mp3"));
  EXPECT_FALSE(batch::theJobState().mp3Requested);
  EXPECT_FALSE(fs::exists(logPath()));
}

TEST_F(JobWindowTest, EmptyFolderLeavesTheWindowAsItWas) {
  fs::create_directory(music() + "/empty");
  EXPECT_FALSE(
      batch::startJob(batch::theJobState(), *window_, batch::JobMode::Folder, music() + "/empty"));
  EXPECT_EQ(stateText(), "READY");
  EXPECT_FALSE(window_->timer().IsRunning());
  EXPECT_FALSE(fs::exists(music() + "/empty/sonbalanced"));
}

TEST_F(JobWindowTest, TimerTicksReachTheJob) {
  ASSERT_TRUE(batch::startJob(batch::theJobState(), *window_, batch::JobMode::SingleFile,
                              music() + "/b.txt"));
  runEventsFor(std::chrono::milliseconds(600));
  // Whatever the tick did with the entry, it stopped the timer and did not start it again
  // for a job of one entry.
  EXPECT_FALSE(window_->timer().IsRunning());
}

// The file URI of a path, its bytes escaped as a file manager escapes them.
std::string fileUri(const std::string& path) {
  std::string uri = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-._~", c)) {
      uri += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    }
  }
  return uri;
}

// A plain 16-bit stereo 44100 Hz WAV of a quiet sawtooth, long enough to pass the checks.
std::string quietWav(std::uint32_t frames) {
  std::string bytes = "RIFF";
  auto le32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(char(v >> (8 * i)));
  };
  auto le16 = [&](std::uint16_t v) { bytes.push_back(char(v)), bytes.push_back(char(v >> 8)); };
  le32(36 + 4 * frames);
  bytes += "WAVEfmt ";
  le32(16), le16(1), le16(2), le32(44100), le32(176400), le16(4), le16(16);
  bytes += "data";
  le32(4 * frames);
  for (std::uint32_t i = 0; i < frames; ++i) {
    const auto value = static_cast<std::uint16_t>(static_cast<std::int16_t>((i % 100) * 20 - 1000));
    le16(value), le16(value);
  }
  return bytes;
}

TEST_F(JobWindowTest, WholeJobRunsOnTheWindowsOwnTimerToDone) {
  fs::remove(music() + "/a.mp3");  // so that the last media entry is the tone, in any order
  writeFile(music() + "/tone.wav", quietWav(4000));
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  ASSERT_TRUE(batch::startJob(batch::theJobState(), *window_, batch::JobMode::Folder, music()));

  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (batch::theJobState().running && std::chrono::steady_clock::now() < end) {
    runEventsFor(std::chrono::milliseconds(20));
  }

  EXPECT_FALSE(batch::theJobState().running);
  EXPECT_EQ(stateText(), "DONE !");
  EXPECT_EQ(fileGauge()->GetValue(), 100);
  EXPECT_EQ(globalGauge()->GetValue(), 100);
  EXPECT_FALSE(window_->timer().IsRunning());
  const std::string source = music() + "/tone.wav";
  const std::string shown = source.size() > 44 ? "..." + source.substr(source.size() - 45) : source;
  EXPECT_EQ(control<wxStaticText>("ID_STATICTEXT3")->GetLabelText(), shown);
  EXPECT_EQ(fs::file_size(music() + "/sonbalanced/tone_eq.wav"), 44u + 4 * 4000);
  EXPECT_FALSE(fs::exists(music() + "/sonbalanced/tone.mp3"));
}

TEST_F(JobWindowTest, CloseBoxStopsTheJobBetweenTwoEntries) {
  for (const char* name : {"t1.wav", "t2.wav", "t3.wav"}) writeFile(music() + "/" + name, quietWav(4000));
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  ASSERT_TRUE(batch::startJob(batch::theJobState(), *window_, batch::JobMode::Folder, music()));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(music() + "/sonbalanced/t1_eq.wav") && std::chrono::steady_clock::now() < end) {
    runEventsFor(std::chrono::milliseconds(20));
  }

  window_->Close(false);
  settleEvents();

  EXPECT_FALSE(batch::theJobState().running);
  EXPECT_FALSE(window_) << "the close box is not held back";
  EXPECT_FALSE(fs::exists(music() + "/sonbalanced/t3_eq.wav"));
  const std::string log = readFile(logPath());
  EXPECT_TRUE(log.ends_with("\nJOB STOPPED (window closed): the files not yet processed were left "
                            "as they were.\n"))
      << log;
  EXPECT_EQ(log.find("t3.wav"), std::string::npos);
  // A job that keeps its log keeps its report beside it, for "Open Last Report".
  EXPECT_NE(readFile(workFolder_ / "sonbalancer-report.json").find("t1.wav"), std::string::npos);
  EXPECT_EQ(batch::theJobState().lastReportPage, "./sonbalancer-report.html");
}

TEST_F(JobWindowTest, ProcessFolderStartsAJobOverTheChosenFolder) {
  ModalDialogAnswerer answerer([&](wxDialog& dialog) {
    // What the user's choice leaves in the dialog. The toolkit's own SetPath would only
    // point the native chooser at the folder, which it then reads in the background.
    dynamic_cast<wxDirDialog&>(dialog).wxDirDialogBase::SetPath(music());
    return wxID_OK;
  });
  click("ID_BUTTON1");
  EXPECT_EQ(answerer.dialogs, (std::vector<std::string>{"wxDirDialog"}));
  EXPECT_EQ(batch::theJobState().chosenPath, music());
  EXPECT_TRUE(batch::theJobState().running);
  EXPECT_EQ(stateText(), "RUNNING");
  EXPECT_TRUE(window_->timer().IsRunning());
  EXPECT_TRUE(fs::is_directory(music() + "/sonbalanced"));
}

TEST_F(JobWindowTest, EachCommandReusesItsOneDialog) {
  std::vector<wxDialog*> shown;
  ModalDialogAnswerer answerer([&](wxDialog& dialog) {
    shown.push_back(&dialog);
    return wxID_CANCEL;
  });
  click("ID_BUTTON1");
  click("ID_BUTTON3");
  click("ID_BUTTON1");
  click("ID_BUTTON3");
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0], shown[2]);
  EXPECT_EQ(shown[1], shown[3]);

  auto* folders = dynamic_cast<wxDirDialog*>(shown[0]);
  ASSERT_NE(folders, nullptr);
  EXPECT_EQ(folders->GetName(), "wxDirDialog");
  EXPECT_EQ(folders->GetMessage(), "Select Music Folder...");
  EXPECT_EQ(folders->GetPath(), "");
  EXPECT_FALSE(folders->HasFlag(wxDD_DIR_MUST_EXIST));
  EXPECT_FALSE(folders->HasFlag(wxDD_CHANGE_DIR));

  auto* files = dynamic_cast<wxFileDialog*>(shown[1]);
  ASSERT_NE(files, nullptr);
  EXPECT_EQ(files->GetName(), "wxFileDialog");
  EXPECT_EQ(files->GetMessage(), "Select Source Music File");
  EXPECT_EQ(files->GetWildcard(), wxFileSelectorDefaultWildcardStr);
  EXPECT_EQ(files->GetDirectory(), "");
  EXPECT_EQ(files->GetFilename(), "");
  EXPECT_TRUE(files->HasFlag(wxFD_OPEN));
  EXPECT_FALSE(files->HasFlag(wxFD_MULTIPLE));
}

TEST_F(JobWindowTest, CancelledDialogsChangeNothing) {
  batch::theJobState().chosenPath = "earlier";
  ModalDialogAnswerer answerer([](wxDialog&) { return wxID_CANCEL; });
  click("ID_BUTTON1");
  click("ID_BUTTON3");
  EXPECT_EQ(answerer.dialogs, (std::vector<std::string>{"wxDirDialog", "wxFileDialog"}));
  EXPECT_EQ(batch::theJobState().chosenPath, "earlier");
  EXPECT_FALSE(batch::theJobState().running);
  EXPECT_EQ(stateText(), "READY");
  EXPECT_FALSE(window_->timer().IsRunning());
  EXPECT_FALSE(fs::exists(music() + "/sonbalanced"));
}

TEST_F(JobWindowTest, ProcessCommandsAreRefusedBeforeTheirDialogWhileAJobRuns) {
  batch::theJobState().running = true;
  batch::theJobState().chosenPath = "running job";
  ModalDialogAnswerer answerer([&](wxDialog&) { return wxID_OK; });
  click("ID_BUTTON1");
  click("ID_BUTTON3");
  EXPECT_TRUE(answerer.dialogs.empty());
  EXPECT_EQ(batch::theJobState().chosenPath, "running job");
}

TEST_F(JobWindowTest, GaugeStepShowsTheValueAndPauses) {
  const auto start = std::chrono::steady_clock::now();
  window_->fileGaugeStep(25, 100);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_EQ(fileGauge()->GetValue(), 25);
}

TEST_F(JobWindowTest, TextsAreShownAsGiven) {
  window_->setCurrentFileText("...Music/Tom & Jerry.mp3");
  window_->setStateText("DONE !");
  EXPECT_EQ(control<wxStaticText>("ID_STATICTEXT3")->GetLabelText(), "...Music/Tom & Jerry.mp3");
  EXPECT_EQ(stateText(), "DONE !");
  window_->setGlobalGauge(66);
  EXPECT_EQ(globalGauge()->GetValue(), 66);
}

// What the desktop was asked to show.
struct RecordingNotifier {
  std::vector<app::DesktopNotice> shown;
  app::DesktopNotifier notifier() {
    return [this](const app::DesktopNotice& notice) { shown.push_back(notice); };
  }
};

TEST_F(JobWindowTest, DroppedFolderStartsTheFolderJobWithoutADialog) {
  // Blanks and letters beyond ASCII, escaped in the URI; a folder may come with a closing
  // separator.
  const std::string folder = music() + "/Ma musique d'été";
  fs::create_directory(folder);
  writeFile(folder + "/Tom & Jérôme.wav", "x");
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  ModalDialogAnswerer answerer([](wxDialog&) { return wxID_CANCEL; });

  EXPECT_TRUE(drop(fileUri(folder) + "/\r\n"));

  EXPECT_TRUE(answerer.dialogs.empty());
  EXPECT_EQ(batch::toNativePath(batch::theJobState().chosenPath), folder);
  EXPECT_TRUE(batch::theJobState().running);
  EXPECT_EQ(batch::theJobState().fileCount, 1u);
  EXPECT_EQ(stateText(), "RUNNING");
  EXPECT_TRUE(window_->timer().IsRunning());
  EXPECT_TRUE(stopOffered());
  EXPECT_TRUE(fs::is_directory(folder + "/sonbalanced"));
  batch::theJobState().log.close();
  EXPECT_EQ(readFile(logPath()),
            "SonBalancer V1.70 - PROCESS LOG FILE\n"
            "------------------------------------\nMODE: MULTIPLE FILE (FOLDER) PROCESS\n\n"
            "SOURCE PATH: " + folder + "\n\n");
}

TEST_F(JobWindowTest, MatchLoudnessIsRememberedAndTakesTheWindowsJobToItsTarget) {
  EXPECT_FALSE(window_->matchLoudnessChosen());
  // The toolkit ticks a check item before it sends the command.
  window_->GetMenuBar()->Check(zevozaroridAvori::ID_MENU_MATCH_LOUDNESS, true);
  chooseMenuItem(zevozaroridAvori::ID_MENU_MATCH_LOUDNESS);
  window_->Destroy();
  settleEvents();
  window_ = new zevozaroridAvori(nullptr);
  window_->Show(true);
  settleEvents();
  EXPECT_TRUE(window_->matchLoudnessChosen());

  const std::string source = music() + "/tone.flac";
  ASSERT_TRUE(testing_support::makeTone(source, {}, 2.0, 300));
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  ASSERT_TRUE(drop(fileUri(source) + "\r\n"));
  runJobToItsEnd();
  EXPECT_EQ(stateText(), "DONE !");
  EXPECT_NE(readFile(logPath()).find("Loudness matched to -16.0 LUFS: gain "), std::string::npos)
      << readFile(logPath());
  const std::string report = readFile(workFolder_ / "sonbalancer-report.json");
  EXPECT_NE(report.find("\"loudness_target_lufs\": -16.0"), std::string::npos) << report;
}

TEST_F(JobWindowTest, DroppedFileIsProcessedAsProcessOneFileProcessesIt) {
  const std::string source = music() + "/Tom & Jérôme à 3 h.wav";
  writeFile(source, quietWav(4000));
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);

  EXPECT_TRUE(drop(fileUri(source) + "\r\n"));
  EXPECT_EQ(batch::toNativePath(batch::theJobState().chosenPath), source);
  runJobToItsEnd();

  EXPECT_EQ(stateText(), "DONE !");
  EXPECT_EQ(fs::file_size(music() + "/sonbalanced/Tom & Jérôme à 3 h_eq.wav"), 44u + 4 * 4000);
  EXPECT_FALSE(fs::exists(music() + "/sonbalanced/x"));
  EXPECT_TRUE(readFile(logPath()).starts_with(
      "SonBalancer V1.70 - PROCESS LOG FILE\n"
      "------------------------------------\nMODE: SINGLE FILE PROCESS\n\nSOURCE PATH: " +
      source + "\n\n"));
  EXPECT_FALSE(stopOffered());
}

TEST_F(JobWindowTest, DropsOfOtherThanOneItemOrDuringAJobAreRefusedInTheStatusBar) {
  const std::string a = fileUri(music() + "/a.mp3");
  const std::string b = fileUri(music() + "/b.txt");
  EXPECT_FALSE(drop(a + "\r\n" + b + "\r\n"));
  EXPECT_EQ(statusText(), "The drop was refused: drop one music file or one folder");
  EXPECT_FALSE(batch::theJobState().running);
  EXPECT_FALSE(fs::exists(music() + "/sonbalanced"));

  window_->notice("");
  // A link from a browser is no file of this machine.
  EXPECT_FALSE(drop("https://example.org/a.mp3\r\n"));
  EXPECT_EQ(statusText(), "The drop was refused: drop one music file or one folder");

  batch::theJobState().running = true;
  batch::theJobState().chosenPath = "running job";
  EXPECT_FALSE(drop(a + "\r\n"));
  EXPECT_EQ(statusText(), "The drop was refused: a job is running");
  EXPECT_EQ(batch::theJobState().chosenPath, "running job");
  EXPECT_FALSE(fs::exists(music() + "/sonbalanced"));
}

TEST_F(JobWindowTest, StopAfterThisFileEndsTheJobBetweenTwoEntriesAndIsReadyAgain) {
  for (const char* name : {"t1.wav", "t2.wav", "t3.wav"}) {
    writeFile(music() + "/" + name, quietWav(4000));
  }
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  EXPECT_FALSE(stopOffered());
  ASSERT_TRUE(drop(fileUri(music()) + "\r\n"));
  EXPECT_TRUE(stopOffered());
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(music() + "/sonbalanced/t1_eq.wav") &&
         std::chrono::steady_clock::now() < end) {
    runEventsFor(std::chrono::milliseconds(20));
  }

  chooseMenuItem(zevozaroridAvori::ID_MENU_STOP);

  const batch::JobState& job = batch::theJobState();
  EXPECT_FALSE(job.running);
  EXPECT_FALSE(window_->timer().IsRunning());
  EXPECT_FALSE(stopOffered());
  EXPECT_EQ(stateText(), "READY");
  // a.mp3 is no real MP3, b.txt no music: three of the five entries were handled.
  EXPECT_EQ(statusText(), "Stopped after 3 of 5 files: 1 track processed, 1 failed");
  EXPECT_TRUE(fs::exists(music() + "/sonbalanced/t1_eq.wav"));
  EXPECT_FALSE(fs::exists(music() + "/sonbalanced/t2_eq.wav"));
  const std::string log = readFile(logPath());
  EXPECT_TRUE(log.ends_with("\nJOB STOPPED (stopped by the user): the files not yet processed were "
                            "left as they were.\n"))
      << log;
  EXPECT_EQ(log.find("t2.wav"), std::string::npos);
  EXPECT_NE(readFile(workFolder_ / "sonbalancer-report.json").find("t1.wav"), std::string::npos);

  // Once stopped, the command does nothing more; the window takes the next job.
  chooseMenuItem(zevozaroridAvori::ID_MENU_STOP);
  EXPECT_EQ(readFile(logPath()), log);
  EXPECT_TRUE(drop(fileUri(music() + "/t2.wav") + "\r\n"));
  EXPECT_EQ(stateText(), "RUNNING");
}

TEST_F(JobWindowTest, JobEndIsToldOnTheDesktopOnlyWhenTheWindowIsNotActive) {
  fs::remove(music() + "/a.mp3");
  writeFile(music() + "/tone.wav", quietWav(4000));
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  RecordingNotifier desktop;
  window_->setDesktopNotifier(desktop.notifier());

  // Raising a frame gives it the focus, on a screen without a window manager too.
  window_->Raise();
  settleEvents();
  ASSERT_TRUE(window_->IsActive());
  ASSERT_TRUE(drop(fileUri(music() + "/tone.wav") + "\r\n"));
  runJobToItsEnd();
  settleEvents();
  EXPECT_TRUE(desktop.shown.empty());

  // Another program's window takes the focus while the job runs.
  wxWeakRef<wxFrame> other = new wxFrame(nullptr, wxID_ANY, "other program");
  other->Show();
  other->Raise();
  settleEvents();
  ASSERT_FALSE(window_->IsActive());
  ASSERT_TRUE(drop(fileUri(music()) + "\r\n"));
  runJobToItsEnd();
  settleEvents();
  other->Destroy();

  ASSERT_EQ(desktop.shown.size(), 1u);
  EXPECT_EQ(desktop.shown[0].title, "SonBalancer: the job has ended");
  EXPECT_EQ(desktop.shown[0].message, "1 track processed, 0 failed");
}

TEST(JobEndNotice, CountsTracksAndTakesFaultySkipsForFailures) {
  batch::EntryCounts counts;
  counts.processed = 12;
  counts.failed = 2;
  counts.skippedForFault = 1;
  counts.skipped = 5;
  EXPECT_EQ(app::jobEndNotice(counts).message, "12 tracks processed, 3 failed");
  EXPECT_EQ(app::stoppedJobText(20, 31, counts),
            "Stopped after 20 of 31 files: 12 tracks processed, 3 failed");
}

}  // namespace
