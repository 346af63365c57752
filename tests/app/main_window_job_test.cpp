// The main window running its jobs on a thread of their own: the two process commands with their
// dialogs, drops, the command line, the Options menu, the two stops and the close box, the status
// bar and the desktop notice at a job's end; the log and results held to the command's.
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/config.h>
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
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "app/job_end_notice.h"
#include "batch/job_setup.h"
#include "batch/native_path.h"
#include "tests/app/window_fixture.h"
#include "tests/support/command_line.h"
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

  // Runs the window's events until the job has ended and been shown, or for at most 60 seconds.
  void runJobToItsEnd() {
    runEventsUntil([&] { return !window_ || !window_->jobRuns(); });
    ASSERT_TRUE(!window_ || !window_->jobRuns()) << "the job did not end";
  }
  template <class Condition>
  void runEventsUntil(Condition done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < end) {
      runEventsFor(std::chrono::milliseconds(20));
    }
  }
  // A window made anew, as at the next start of the program.
  void reopenWindow() {
    window_->Destroy();
    settleEvents();
    window_ = new zevozaroridAvori(nullptr);
    window_->Show(true);
    settleEvents();
  }
  // The menu item ticked as the user ticks it: the toolkit ticks it, then sends the command.
  void tickMenuItem(int id) {
    window_->GetMenuBar()->Check(id, true);
    chooseMenuItem(id);
  }
  bool startJob(const std::string& path) { return window_->startJobOver({path}); }
  // The report of the last job, "./sonbalancer-report-<start time>.json", in the working folder.
  std::string reportOfLastJob() {
    const std::string page = batch::theJobState().lastReportPage;
    EXPECT_TRUE(page.starts_with("./sonbalancer-report-2") && page.ends_with(".html")) << page;
    return workFolder_ / (page.substr(2, page.size() - 7) + ".json");
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

TEST_F(JobWindowTest, FolderJobRunsOffTheWindowsThreadToItsEnd) {
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  ASSERT_TRUE(startJob(music()));
  EXPECT_TRUE(window_->jobRuns());
  EXPECT_TRUE(window_->timer().IsRunning());
  EXPECT_FALSE(control<wxButton>("ID_BUTTON1")->IsEnabled()) << "no second job while one runs";
  EXPECT_FALSE(control<wxButton>("ID_BUTTON3")->IsEnabled());
  runJobToItsEnd();

  EXPECT_TRUE(control<wxButton>("ID_BUTTON1")->IsEnabled());
  EXPECT_FALSE(window_->timer().IsRunning());
  EXPECT_EQ(batch::theJobState().fileCount, 2u);
  EXPECT_TRUE(readFile(logPath()).starts_with(
      "SonBalancer V1.70 - PROCESS LOG FILE\n"
      "------------------------------------\nMODE: MULTIPLE FILE (FOLDER) PROCESS\n\n"
      "SOURCE PATH: " + music() + "\n\n"));
  // a.mp3 is no real MP3, b.txt no music.
  EXPECT_TRUE(statusText().StartsWith("0 tracks processed, 0 skipped, 1 failed, 1 not music in 0:00:"))
      << statusText();
}

TEST_F(JobWindowTest, EmptyFolderStartsNothingAndSavesNothing) {
  fs::create_directory(music() + "/empty");
  ASSERT_TRUE(startJob(music() + "/empty"));
  runJobToItsEnd();
  EXPECT_EQ(stateText(), "READY");
  EXPECT_FALSE(fs::exists(music() + "/empty/sonbalanced"));
  EXPECT_FALSE(fs::exists(logPath()));
}

// No file below folder, or no folder at all: an output folder that was made and kept nothing is
// removed at the end of the job.
bool nothingBelow(const std::string& folder) {
  return !fs::exists(folder) || testing_support::filesBelow(folder).empty();
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

TEST_F(JobWindowTest, WholeJobShowsItsLastFileAndFullGauges) {
  fs::remove(music() + "/a.mp3");  // so that the last media entry is the tone, in any order
  writeFile(music() + "/tone.wav", quietWav(4000));
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  ASSERT_TRUE(startJob(music()));
  runJobToItsEnd();

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

// A long track, MP3 on: the stop comes while the converter or the encoder works on it.
TEST_F(JobWindowTest, CloseBoxStopsTheJobInTheMiddleOfAFileThenCloses) {
  ASSERT_TRUE(testing_support::makeTone(music() + "/long.flac", {}, 240.0, 300));
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  ASSERT_TRUE(startJob(music()));
  runEventsUntil([&] { return control<wxGauge>("ID_GAUGE1")->GetValue() >= 5; });

  window_->Close(false);
  EXPECT_TRUE(window_) << "the window waits for the job it stopped";
  runEventsUntil([&] { return !window_; });

  EXPECT_FALSE(window_) << "the window closes once its job has ended";
  EXPECT_FALSE(batch::theJobState().running);
  EXPECT_TRUE(nothingBelow(music() + "/sonbalanced")) << "what the stopped children wrote is removed";
  const std::string log = readFile(logPath());
  EXPECT_TRUE(log.ends_with("\nJOB STOPPED (window closed): the files not yet processed were left "
                            "as they were.\n"))
      << log;
  // A job that keeps its log keeps its report beside it under a name of its own.
  EXPECT_TRUE(fs::exists(reportOfLastJob()));
}

TEST_F(JobWindowTest, StopNowStopsTheFileInProcessAndLeavesTheWindowReady) {
  ASSERT_TRUE(testing_support::makeTone(music() + "/long.flac", {}, 240.0, 300));
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  ASSERT_TRUE(startJob(music() + "/long.flac"));
  runEventsUntil([&] { return control<wxGauge>("ID_GAUGE1")->GetValue() >= 5; });

  chooseMenuItem(zevozaroridAvori::ID_MENU_STOP_NOW);
  runJobToItsEnd();

  EXPECT_EQ(stateText(), "READY");
  EXPECT_FALSE(stopOffered());
  EXPECT_TRUE(statusText().StartsWith("Stopped after 0 of 1 files: 0 tracks processed, 0 failed"))
      << statusText();
  EXPECT_TRUE(nothingBelow(music() + "/sonbalanced"));
  EXPECT_TRUE(readFile(logPath()).ends_with(
      "\nJOB STOPPED (stopped by the user): the files not yet processed were left as they "
      "were.\n"))
      << readFile(logPath());
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
  EXPECT_TRUE(window_->jobRuns());
  runJobToItsEnd();
  EXPECT_EQ(batch::theJobState().fileCount, 2u);
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
  EXPECT_TRUE(stopOffered());
  runJobToItsEnd();
  EXPECT_EQ(stateText(), "READY") << "no result was saved";
  EXPECT_EQ(batch::theJobState().fileCount, 1u);
  EXPECT_TRUE(readFile(logPath()).starts_with(
            "SonBalancer V1.70 - PROCESS LOG FILE\n"
            "------------------------------------\nMODE: MULTIPLE FILE (FOLDER) PROCESS\n\n"
            "SOURCE PATH: " + folder + "\n\n"));
}

TEST_F(JobWindowTest, OptionsAreRememberedByANewWindowAndTakeItsJobToTheirTarget) {
  tickMenuItem(zevozaroridAvori::ID_MENU_LOUDNESS_FIRST + 1);  // -16 LUFS
  tickMenuItem(zevozaroridAvori::ID_MENU_SUB_FOLDERS);
  tickMenuItem(zevozaroridAvori::ID_MENU_WORKERS_FIRST);  // 1
  tickMenuItem(zevozaroridAvori::ID_MENU_MP3_RATE_FIRST + 3);  // 320 kbit/s
  tickMenuItem(zevozaroridAvori::ID_MENU_WAV_TAGS);
  reopenWindow();
  const app::WindowOptions options = window_->options();
  EXPECT_EQ(options.loudnessTargetLufs, -16.0);
  EXPECT_TRUE(options.includeSubFolders);
  EXPECT_FALSE(options.skipFilesAlreadyDone);
  EXPECT_EQ(options.workers, 1u);
  EXPECT_EQ(options.mp3RateKbps, 320);
  EXPECT_TRUE(options.writeWavTags);

  const std::string source = music() + "/x/tone.flac";
  ASSERT_TRUE(testing_support::makeTone(source, {}, 2.0, 300));
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  ASSERT_TRUE(drop(fileUri(music()) + "\r\n"));
  runJobToItsEnd();
  EXPECT_EQ(stateText(), "DONE !");
  EXPECT_TRUE(fs::exists(music() + "/x/sonbalanced/tone_eq.wav")) << "the sub-folder was included";
  EXPECT_NE(readFile(logPath()).find("Loudness matched to -16.0 LUFS: gain "), std::string::npos)
      << readFile(logPath());
  const std::string report = readFile(reportOfLastJob());
  EXPECT_NE(report.find("\"loudness_target_lufs\": -16.0"), std::string::npos) << report;
}

TEST_F(JobWindowTest, RecentFolderIsRememberedByANewWindowAndStartsItsJobAgain) {
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  ASSERT_TRUE(startJob(music()));
  runJobToItsEnd();
  fs::remove(logPath());
  reopenWindow();

  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  chooseMenuItem(wxID_FILE1);
  EXPECT_TRUE(window_->jobRuns());
  runJobToItsEnd();
  EXPECT_NE(readFile(logPath()).find("SOURCE PATH: " + music() + "\n"), std::string::npos);
}

TEST_F(JobWindowTest, EarlierMatchLoudnessChoiceReadsAsTheTargetOfMinus16) {
  wxConfigBase::Get()->Write("/Options/MatchLoudness", true);
  reopenWindow();
  EXPECT_TRUE(window_->GetMenuBar()->IsChecked(zevozaroridAvori::ID_MENU_LOUDNESS_FIRST + 1));
}

// The window with a second worker and the command with -j 2, over the same folder with the same
// choices: the same log, byte for byte, and the same results.
TEST_F(JobWindowTest, JobOfSeveralFilesOnTwoWorkersIsTheCommandsJob) {
  fs::remove(music() + "/a.mp3");
  for (int index = 1; index <= 3; ++index) {
    ASSERT_TRUE(testing_support::makeTone(music() + "/t" + std::to_string(index) + ".flac", {},
                                          3.0, 200 * index));
  }
  tickMenuItem(zevozaroridAvori::ID_MENU_WORKERS_FIRST + 1);
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  ASSERT_TRUE(startJob(music()));
  runJobToItsEnd();
  EXPECT_EQ(stateText(), "DONE !");
  EXPECT_TRUE(statusText().StartsWith("3 tracks processed, 0 skipped, 0 failed, 1 not music in ")) << statusText();
  const std::string windowLog = readFile(logPath());
  auto results = testing_support::filesBelow(music() + "/sonbalanced");
  results.erase(".sonbalancer-results.json");  // records the time each result was made

  fs::remove_all(music() + "/sonbalanced");
  ASSERT_EQ(std::system(("cd " + testing_support::shellQuoted(workFolder_.path()) + " && " +
                         testing_support::shellQuoted(testing_support::kCommand) +
                         " --log -j 2 " + testing_support::shellQuoted(music()) + " 2>/dev/null")
                            .c_str()),
            0);
  auto commandResults = testing_support::filesBelow(music() + "/sonbalanced");
  commandResults.erase(".sonbalancer-results.json");
  EXPECT_EQ(readFile(logPath()), windowLog);
  EXPECT_EQ(results.size(), 6u);
  EXPECT_TRUE(results == commandResults);
}

// Two long tracks on two workers, MP3 on: the encoder's progress moves the gauge of the least
// advanced file between the encoding's step and the end, and the text counts the files.
TEST_F(JobWindowTest, FileGaugeMovesWhileTheFilesAreEncodedAndTheTextCountsThem) {
  fs::remove(music() + "/a.mp3");
  for (const char* name : {"t1.flac", "t2.flac"}) {
    ASSERT_TRUE(testing_support::makeTone(music() + "/" + name, {}, 120.0, 300));
  }
  tickMenuItem(zevozaroridAvori::ID_MENU_WORKERS_FIRST + 1);
  ASSERT_TRUE(startJob(music()));
  std::set<int> encodingGauge;
  bool bothCounted = false;
  runEventsUntil([&] {
    if (fileGauge()->GetValue() > 95 && fileGauge()->GetValue() < 100) {
      encodingGauge.insert(fileGauge()->GetValue());
    }
    bothCounted = bothCounted || control<wxStaticText>("ID_STATICTEXT3")->GetLabelText().StartsWith(
                                     "2 files in process: ");
    return !window_->jobRuns();
  });
  EXPECT_EQ(stateText(), "DONE !");
  EXPECT_GE(encodingGauge.size(), 2u) << "the gauge moved while the MP3 files were encoded";
  EXPECT_TRUE(bothCounted);
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

TEST_F(JobWindowTest, SeveralDroppedItemsMakeOneJobAndADropDuringAJobIsRefused) {
  const std::string a = fileUri(music() + "/a.mp3");
  const std::string b = fileUri(music() + "/b.txt");
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  ASSERT_TRUE(drop(a + "\r\n" + b + "\r\n"));

  EXPECT_FALSE(drop(a + "\r\n"));
  EXPECT_EQ(statusText(), "The drop was refused: a job is running");
  runJobToItsEnd();
  EXPECT_TRUE(readFile(logPath()).starts_with(
      "SonBalancer V1.70 - PROCESS LOG FILE\n"
      "------------------------------------\nMODE: MULTIPLE FILE (FOLDER) PROCESS\n\n"
      "SOURCE PATH: " + music() + "/a.mp3\nSOURCE PATH: " + music() + "/b.txt\n\n"))
      << readFile(logPath());
  EXPECT_EQ(batch::theJobState().fileCount, 2u);
}

TEST_F(JobWindowTest, StopAfterThisFileEndsTheJobBetweenTwoEntriesAndIsReadyAgain) {
  // Long enough for the file after the first to be still in process when the stop comes.
  for (const char* name : {"t1.flac", "t2.flac", "t3.flac"}) {
    ASSERT_TRUE(testing_support::makeTone(music() + "/" + name, {}, 30.0, 300));
  }
  tickMenuItem(zevozaroridAvori::ID_MENU_WORKERS_FIRST);  // one file at a time
  control<wxCheckBox>("ID_CHECKBOX2")->SetValue(false);
  control<wxCheckBox>("ID_CHECKBOX4")->SetValue(true);
  EXPECT_FALSE(stopOffered());
  ASSERT_TRUE(drop(fileUri(music()) + "\r\n"));
  EXPECT_TRUE(stopOffered());
  runEventsUntil([&] { return fs::exists(music() + "/sonbalanced/t1_eq.wav"); });

  chooseMenuItem(zevozaroridAvori::ID_MENU_STOP);
  runJobToItsEnd();

  EXPECT_FALSE(stopOffered());
  EXPECT_EQ(stateText(), "READY");
  EXPECT_TRUE(statusText().StartsWith("Stopped after ")) << statusText();
  EXPECT_TRUE(fs::exists(music() + "/sonbalanced/t1_eq.wav"));
  EXPECT_FALSE(fs::exists(music() + "/sonbalanced/t3_eq.wav"));
  const std::string log = readFile(logPath());
  EXPECT_TRUE(log.ends_with("\nJOB STOPPED (stopped by the user): the files not yet processed were "
                            "left as they were.\n"))
      << log;
  EXPECT_EQ(log.find("t3.flac"), std::string::npos);

  // Once stopped, the command does nothing more; the window takes the next job.
  chooseMenuItem(zevozaroridAvori::ID_MENU_STOP);
  EXPECT_EQ(readFile(logPath()), log);
  EXPECT_TRUE(drop(fileUri(music() + "/t3.flac") + "\r\n"));
  runJobToItsEnd();
  EXPECT_EQ(stateText(), "DONE !");
}

TEST_F(JobWindowTest, PathOnTheCommandLineStartsThatJob) {
  writeFile(music() + "/tone.wav", quietWav(4000));
  window_->Destroy();
  settleEvents();
  wxTheApp->argv.Init(2, std::vector<char*>{const_cast<char*>("sonbalancer"),
                                            const_cast<char*>("Music/tone.wav")}
                             .data());
  wxTheApp->argc = 2;
  fs::current_path(musicRoot_.path());
  const bool started = wxTheApp->OnInit();
  wxTheApp->argv.Init(1, std::vector<char*>{const_cast<char*>("sonbalancer")}.data());
  wxTheApp->argc = 1;
  ASSERT_TRUE(started);
  window_ = dynamic_cast<zevozaroridAvori*>(wxTheApp->GetTopWindow());
  ASSERT_TRUE(window_);
  settleEvents();
  runJobToItsEnd();
  EXPECT_EQ(batch::toNativePath(batch::theJobState().chosenPath), music() + "/tone.wav");
  EXPECT_TRUE(fs::exists(music() + "/sonbalanced/tone_eq.wav"));
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
