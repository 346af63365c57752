#include "app/main_window.h"

#include <wx/artprov.h>
#include <wx/config.h>
#include <wx/dnd.h>
#include <wx/filename.h>
#include <wx/font.h>
#include <wx/icon.h>
#include <wx/intl.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include <ctime>
#include <functional>
#include <iterator>

#include "app/build_information.h"
#include "app/compact_check_box.h"
#include "app/job_end_notice.h"
#include "batch/job_setup.h"
#include "batch/native_path.h"
#include "batch/pipeline.h"
#include "engine/sample_buffer.h"
#include "loudness/true_peak_ceiling.h"
#include "media/system_services.h"
#include "platform/beep.h"
#include "platform/folders.h"
#include "platform/signals.h"
#include "sonbalancer_version.h"

// Static initialisation takes the ids in this order; only their distinctness matters.
const wxWindowID zevozaroridAvori::ID_STATICTEXT1 = wxNewId();
const wxWindowID zevozaroridAvori::ID_BUTTON1 = wxNewId();
const wxWindowID zevozaroridAvori::ID_BUTTON2 = wxNewId();
const wxWindowID zevozaroridAvori::ID_CHECKBOX1 = wxNewId();
const wxWindowID zevozaroridAvori::ID_CHECKBOX2 = wxNewId();
const wxWindowID zevozaroridAvori::ID_CHECKBOX3 = wxNewId();
const wxWindowID zevozaroridAvori::ID_BUTTON3 = wxNewId();
const wxWindowID zevozaroridAvori::ID_CHECKBOX4 = wxNewId();
const wxWindowID zevozaroridAvori::ID_GAUGE1 = wxNewId();
const wxWindowID zevozaroridAvori::ID_GAUGE2 = wxNewId();
const wxWindowID zevozaroridAvori::ID_STATICTEXT2 = wxNewId();
const wxWindowID zevozaroridAvori::ID_STATICTEXT3 = wxNewId();
const wxWindowID zevozaroridAvori::ID_CHECKBOX5 = wxNewId();
const wxWindowID zevozaroridAvori::ID_STATICTEXT4 = wxNewId();
const wxWindowID zevozaroridAvori::ID_MENU_QUIT = wxNewId();
const wxWindowID zevozaroridAvori::ID_MENU_ABOUT = wxNewId();
const wxWindowID zevozaroridAvori::ID_STATUSBAR1 = wxNewId();
const wxWindowID zevozaroridAvori::ID_TIMER1 = wxNewId();
const wxWindowID zevozaroridAvori::ID_MENU_REPORT = wxNewId();
const wxWindowID zevozaroridAvori::ID_MENU_STOP = wxNewId();
const wxWindowID zevozaroridAvori::ID_MENU_STOP_NOW = wxNewId();
const wxWindowID zevozaroridAvori::ID_MENU_RESULTS = wxNewId();
const wxWindowID zevozaroridAvori::ID_MENU_SUB_FOLDERS = wxNewId();
const wxWindowID zevozaroridAvori::ID_MENU_SKIP_DONE = wxNewId();
const wxWindowID zevozaroridAvori::ID_MENU_REPLAY_GAIN = wxNewId();
namespace {
// count consecutive ids, the first returned.
wxWindowID newIds(int count) {
  const wxWindowID first = wxNewId();
  wxRegisterId(first + count - 1);
  return first;
}
// Room for as many workers as any machine offers.
constexpr int kWorkerIdCount = 1025;
}  // namespace
const wxWindowID zevozaroridAvori::ID_MENU_LOUDNESS_OFF =
    newIds(1 + static_cast<int>(std::size(app::kLoudnessTargetsLufs)));
const wxWindowID zevozaroridAvori::ID_MENU_LOUDNESS_FIRST = ID_MENU_LOUDNESS_OFF + 1;
const wxWindowID zevozaroridAvori::ID_MENU_WAV_TAGS = wxNewId();
const wxWindowID zevozaroridAvori::ID_MENU_MP3_RATE_BOX =
    newIds(1 + static_cast<int>(std::size(app::kMp3RatesKbps)));
const wxWindowID zevozaroridAvori::ID_MENU_MP3_RATE_FIRST = ID_MENU_MP3_RATE_BOX + 1;
const wxWindowID zevozaroridAvori::ID_MENU_WORKERS_AUTO = newIds(kWorkerIdCount);
const wxWindowID zevozaroridAvori::ID_MENU_WORKERS_FIRST = ID_MENU_WORKERS_AUTO + 1;

namespace {

// The buttons stand 128 and 120 pixels apart; toolkits whose buttons carry wide margins would
// let each one cover the label of the next. So they fit their labels, with a little room kept
// on each side so that the text does not touch the border.
constexpr long kButtonStyle = wxBU_EXACTFIT;
constexpr int kButtonSideRoomPx = 2;

constexpr int kStopWatchIntervalMs = 250;
const char* const kRecentFoldersGroup = "/RecentFolders";
// How often the progress of a running job is shown: often enough for the gauges to move
// smoothly, seldom enough to cost nothing.
constexpr int kProgressIntervalMs = 100;

void fitToLabel(wxButton& button) {
  button.SetSize(button.GetBestSize() + wxSize(2 * kButtonSideRoomPx, 0));
}

// Shows the command's dialog and gives the path chosen with OK.
template <class PathDialog>
bool choosePath(PathDialog& dialog, wxString& path) {
  if (dialog.ShowModal() != wxID_OK) return false;
  path = dialog.GetPath();
  return true;
}

// A folder dragged from some file managers ends in a separator, which the folder dialog never
// gives.
std::string withoutClosingSeparator(const wxString& given) {
  std::string path = batch::toNativePath(given);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// "0:01:05"
wxString clockText(std::chrono::steady_clock::duration span) {
  const long seconds =
      static_cast<long>(std::chrono::duration<double>(span).count() + 0.5);
  return wxString::Format("%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

// File managers and the desktop drag files as text/uri-list, which the toolkit's file drop
// target decodes (escaped blanks, UTF-8 letters) to file names.
class MusicDropTarget : public wxFileDropTarget {
 public:
  explicit MusicDropTarget(std::function<bool(const wxArrayString&)> takeDrop)
      : takeDrop_(std::move(takeDrop)) {}

  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& paths) override {
    return takeDrop_(paths);
  }

 private:
  std::function<bool(const wxArrayString&)> takeDrop_;
};

}  // namespace

zevozaroridAvori::zevozaroridAvori(wxWindow* parent, wxWindowID id)
    : wxFrame(parent, id, wxString("SonBalancer ") + sonbalancer::kVersion, wxDefaultPosition,
              wxDefaultSize, wxDEFAULT_FRAME_STYLE, "id") {
  const wxBitmap art = wxArtProvider::GetBitmap(wxART_CDROM, wxART_CMN_DIALOG);
  if (art.IsOk()) {
    wxIcon icon;
    icon.CopyFromBitmap(art);
    SetIcon(icon);
  }

  createControls();
  createMenuBar();
  createStatusBar();
  // Sized once the bars are in: they are taken from the client area, and the lowest row of
  // controls must stay clear of the status bar.
  SetClientSize(wxSize(731, 481));

  folderDialog_ =
      new wxDirDialog(this, _("Select Music Folder..."), wxEmptyString, wxDD_DEFAULT_STYLE,
                      wxDefaultPosition, wxDefaultSize, "wxDirDialog");
  fileDialog_ = new wxFileDialog(this, _("Select Source Music File"), wxEmptyString, wxEmptyString,
                                 wxFileSelectorDefaultWildcardStr, wxFD_OPEN, wxDefaultPosition,
                                 wxDefaultSize, "wxFileDialog");
  // Native dialogs may ignore the name given at creation.
  folderDialog_->SetName("wxDirDialog");
  fileDialog_->SetName("wxFileDialog");

  timer_.SetOwner(this, ID_TIMER1);
  notifyDesktop_ = [this](const app::DesktopNotice& notice) {
    app::showThroughToolkit(notice, this);
  };
  SetDropTarget(
      new MusicDropTarget([this](const wxArrayString& paths) { return takeDrop(paths); }));
  // Owned before the handlers are bound: the timer takes its id here.
  stopWatch_.SetOwner(this, wxID_ANY);
  bindHandlers();
  stopWatch_.Start(kStopWatchIntervalMs, wxTIMER_CONTINUOUS);
}

// Fixed places and no sizers: nothing moves when the frame is resized. The heading's label is
// empty, so it has no entry in the translation catalogue.
void zevozaroridAvori::createControls() {
  heading_ = new wxStaticText(this, ID_STATICTEXT1, wxEmptyString, wxPoint(184, 40), wxDefaultSize,
                              0, "ID_STATICTEXT1");
  heading_->SetFont(wxFont(16, wxFONTFAMILY_SWISS, wxFONTSTYLE_ITALIC, wxFONTWEIGHT_BOLD, false,
                           wxEmptyString, wxFONTENCODING_DEFAULT));
  processFolderButton_ =
      new wxButton(this, ID_BUTTON1, _("PROCESS FOLDER"), wxPoint(304, 384), wxDefaultSize,
                   kButtonStyle, wxDefaultValidator, "ID_BUTTON1");
  fitToLabel(*processFolderButton_);
  quitButton_ = new wxButton(this, ID_BUTTON2, _("QUITT"), wxPoint(552, 384), wxDefaultSize,
                             kButtonStyle, wxDefaultValidator, "ID_BUTTON2");
  fitToLabel(*quitButton_);
  noBasslineBox_ =
      new wxCheckBox(this, ID_CHECKBOX1, _("The tracks have no bassline"), wxPoint(40, 344),
                     wxDefaultSize, 0, wxDefaultValidator, "ID_CHECKBOX1");
  noBasslineBox_->SetValue(false);
  mp3Box_ = new wxCheckBox(this, ID_CHECKBOX2, _("Perform final MP3 encoding"), wxPoint(40, 368),
                           wxDefaultSize, 0, wxDefaultValidator, "ID_CHECKBOX2");
  mp3Box_->SetValue(true);
  ignoreClicksBox_ =
      new wxCheckBox(this, ID_CHECKBOX3, _("Ignore short clicks (vinyle records)"),
                     wxPoint(40, 416), wxDefaultSize, 0, wxDefaultValidator, "ID_CHECKBOX3");
  ignoreClicksBox_->SetValue(false);
  processFileButton_ = new wxButton(this, ID_BUTTON3, _("PROCESS 1 FILE"), wxPoint(432, 384),
                                    wxDefaultSize, kButtonStyle, wxDefaultValidator, "ID_BUTTON3");
  fitToLabel(*processFileButton_);
  logBox_ = new wxCheckBox(this, ID_CHECKBOX4, _("Trace Events in a Log File"), wxPoint(40, 320),
                           wxDefaultSize, 0, wxDefaultValidator, "ID_CHECKBOX4");
  logBox_->SetValue(false);
  fileGauge_ = new wxGauge(this, ID_GAUGE1, 100, wxPoint(240, 168), wxSize(224, 16), 0,
                           wxDefaultValidator, "ID_GAUGE1");
  globalGauge_ = new wxGauge(this, ID_GAUGE2, 100, wxPoint(240, 224), wxSize(224, 16), 0,
                             wxDefaultValidator, "ID_GAUGE2");
  globalProgressCaption_ = new wxStaticText(this, ID_STATICTEXT2, _("GLOBAL PROGRESSION"),
                                            wxPoint(248, 208), wxDefaultSize, 0, "ID_STATICTEXT2");
  currentFileText_ = new wxStaticText(this, ID_STATICTEXT3, _("FILE IN PROCESS"), wxPoint(248, 152),
                                      wxSize(368, 13), 0, "ID_STATICTEXT3");
  // As wide as its label needs in the desktop's font, which a fixed width did not leave it.
  mp3At192kBox_ = new CompactCheckBox(this, ID_CHECKBOX5, _("Set MP3 rate to 192K (default 128k)"),
                                      wxPoint(40, 392), wxSize(wxDefaultCoord, 13), 0,
                                      wxDefaultValidator, "ID_CHECKBOX5");
  mp3At192kBox_->SetValue(false);
  stateText_ = new wxStaticText(this, ID_STATICTEXT4, _("READY"), wxPoint(296, 272),
                                wxSize(104, 22), 0, "ID_STATICTEXT4");
  stateText_->SetFont(wxFont(14, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                             "Arial", wxFONTENCODING_DEFAULT));
}

void zevozaroridAvori::createMenuBar() {
  auto* menuBar = new wxMenuBar(0);
  auto* fileMenu = new wxMenu();
  fileMenu->Append(new wxMenuItem(fileMenu, ID_MENU_REPORT, _("Open Last Report"),
                                  _("Open the report of the last job in the browser"),
                                  wxITEM_NORMAL));
  fileMenu->Append(new wxMenuItem(fileMenu, ID_MENU_RESULTS, _("Open Results Folder"),
                                  _("Open the folder of the last job's results"), wxITEM_NORMAL));
  auto* recentMenu = new wxMenu();
  fileMenu->AppendSubMenu(recentMenu, _("Recent Folders"), _("Process a folder of a recent job again"));
  recentFolders_.UseMenu(recentMenu);
  {
    wxConfigBase& config = *wxConfigBase::Get();
    const wxString group = config.GetPath();
    config.SetPath(kRecentFoldersGroup);
    recentFolders_.Load(config);
    config.SetPath(group);
  }
  fileMenu->Append(new wxMenuItem(fileMenu, ID_MENU_STOP, _("Stop After This File\tCtrl+."),
                                  _("Stop the job once the files in process are done"),
                                  wxITEM_NORMAL));
  fileMenu->Append(new wxMenuItem(fileMenu, ID_MENU_STOP_NOW, _("Stop Now\tEsc"),
                                  _("Stop the job at once, as Ctrl-C stops the command"),
                                  wxITEM_NORMAL));
  fileMenu->Append(new wxMenuItem(fileMenu, ID_MENU_QUIT, _("Quit\tAlt-F4"),
                                  _("Quit the application"), wxITEM_NORMAL));
  menuBar->Append(fileMenu, _("&File"));

  const app::WindowOptions chosen = app::loadWindowOptions(*wxConfigBase::Get());
  auto* optionsMenu = new wxMenu();
  optionsMenu->AppendCheckItem(ID_MENU_SUB_FOLDERS, _("Include Sub-folders"),
                               _("Folders are processed with their sub-folders"));
  optionsMenu->AppendCheckItem(ID_MENU_SKIP_DONE, _("Skip Files Already Done"),
                               _("Leave alone the files whose results were made from them with "
                                 "the same choices"));
  auto* loudnessMenu = new wxMenu();
  loudnessMenu->AppendRadioItem(ID_MENU_LOUDNESS_OFF, _("Off"),
                                _("Leave the results at the level the balance gives them"));
  for (std::size_t index = 0; index < std::size(app::kLoudnessTargetsLufs); ++index) {
    loudnessMenu->AppendRadioItem(
        ID_MENU_LOUDNESS_FIRST + static_cast<int>(index),
        wxString::Format(_("%g LUFS"), app::kLoudnessTargetsLufs[index]),
        wxString::Format(_("Bring every result to this loudness, its peaks limited to %.1f dBTP"),
                         loudness::kTruePeakCeilingDbtp));
  }
  optionsMenu->AppendSubMenu(loudnessMenu, _("Loudness Target"));
  optionsMenu->AppendCheckItem(ID_MENU_REPLAY_GAIN, _("Write ReplayGain Tags"),
                               _("Tag each MP3 with its ReplayGain, and a folder's tracks with "
                                 "their album's"));
  optionsMenu->AppendCheckItem(ID_MENU_WAV_TAGS, _("Write Tags Into WAV Files"),
                               _("Give each WAV result the source's tags and cover, as DJ "
                                 "software reads them"));
  auto* rateMenu = new wxMenu();
  rateMenu->AppendRadioItem(ID_MENU_MP3_RATE_BOX, _("As the Check Box"),
                            _("128 kbit/s, or 192 kbit/s with its box ticked"));
  for (std::size_t index = 0; index < std::size(app::kMp3RatesKbps); ++index) {
    const int kbps = app::kMp3RatesKbps[index];
    rateMenu->AppendRadioItem(
        ID_MENU_MP3_RATE_FIRST + static_cast<int>(index),
        kbps == media::Mp3Rate::kSameRate ? _("Same as the Source")
                                          : wxString::Format(_("%d kbit/s"), kbps),
        kbps == media::Mp3Rate::kSameRate
            ? _("An MP3 source's own rate, 320 kbit/s for other sources")
            : _("Encode every MP3 at this rate"));
  }
  optionsMenu->AppendSubMenu(rateMenu, _("MP3 Rate"));
  auto* workersMenu = new wxMenu();
  workersMenu->AppendRadioItem(ID_MENU_WORKERS_AUTO, _("Automatic"),
                               _("Process as many files at once as there are processors"));
  for (unsigned count = 1; count <= app::processorCount() && count < kWorkerIdCount; ++count) {
    workersMenu->AppendRadioItem(ID_MENU_WORKERS_FIRST + static_cast<int>(count) - 1,
                                 wxString::Format("%u", count),
                                 _("Process this many files at once"));
  }
  optionsMenu->AppendSubMenu(workersMenu, _("Workers"));
  menuBar->Append(optionsMenu, _("Options"));

  auto* helpMenu = new wxMenu();
  helpMenu->Append(new wxMenuItem(helpMenu, ID_MENU_ABOUT, _("About\tF1"),
                                  _("Show info about this application"), wxITEM_NORMAL));
  menuBar->Append(helpMenu, _("Help"));
  SetMenuBar(menuBar);

  menuBar->Check(ID_MENU_SUB_FOLDERS, chosen.includeSubFolders);
  menuBar->Check(ID_MENU_SKIP_DONE, chosen.skipFilesAlreadyDone);
  menuBar->Check(ID_MENU_REPLAY_GAIN, chosen.writeReplayGainTags);
  menuBar->Check(ID_MENU_WAV_TAGS, chosen.writeWavTags);
  int rateId = ID_MENU_MP3_RATE_BOX;
  for (std::size_t index = 0; index < std::size(app::kMp3RatesKbps); ++index) {
    if (chosen.mp3RateKbps == app::kMp3RatesKbps[index]) {
      rateId = ID_MENU_MP3_RATE_FIRST + static_cast<int>(index);
    }
  }
  menuBar->Check(rateId, true);
  int loudnessId = ID_MENU_LOUDNESS_OFF;
  for (std::size_t index = 0; index < std::size(app::kLoudnessTargetsLufs); ++index) {
    if (chosen.loudnessTargetLufs == app::kLoudnessTargetsLufs[index]) {
      loudnessId = ID_MENU_LOUDNESS_FIRST + static_cast<int>(index);
    }
  }
  menuBar->Check(loudnessId, true);
  menuBar->Check(chosen.workers == 0 ? ID_MENU_WORKERS_AUTO
                                     : ID_MENU_WORKERS_FIRST + static_cast<int>(chosen.workers) - 1,
                 true);
  showWhetherAJobRuns();
}

app::WindowOptions zevozaroridAvori::options() const {
  const wxMenuBar& bar = *GetMenuBar();
  app::WindowOptions chosen;
  chosen.includeSubFolders = bar.IsChecked(ID_MENU_SUB_FOLDERS);
  chosen.skipFilesAlreadyDone = bar.IsChecked(ID_MENU_SKIP_DONE);
  chosen.writeReplayGainTags = bar.IsChecked(ID_MENU_REPLAY_GAIN);
  chosen.writeWavTags = bar.IsChecked(ID_MENU_WAV_TAGS);
  for (std::size_t index = 0; index < std::size(app::kMp3RatesKbps); ++index) {
    if (bar.IsChecked(ID_MENU_MP3_RATE_FIRST + static_cast<int>(index))) {
      chosen.mp3RateKbps = app::kMp3RatesKbps[index];
    }
  }
  for (std::size_t index = 0; index < std::size(app::kLoudnessTargetsLufs); ++index) {
    if (bar.IsChecked(ID_MENU_LOUDNESS_FIRST + static_cast<int>(index))) {
      chosen.loudnessTargetLufs = app::kLoudnessTargetsLufs[index];
    }
  }
  for (unsigned count = 1; count <= app::processorCount() && count < kWorkerIdCount; ++count) {
    if (bar.IsChecked(ID_MENU_WORKERS_FIRST + static_cast<int>(count) - 1)) chosen.workers = count;
  }
  return chosen;
}

app::BoxStates zevozaroridAvori::boxStates() const {
  app::BoxStates boxes;
  boxes.log = logBox_->GetValue();
  boxes.mp3 = mp3Box_->GetValue();
  boxes.mp3At192k = mp3At192kBox_->GetValue();
  boxes.noBassline = noBasslineBox_->GetValue();
  boxes.ignoreClicks = ignoreClicksBox_->GetValue();
  return boxes;
}

void zevozaroridAvori::createStatusBar() {
  statusBar_ = new wxStatusBar(this, ID_STATUSBAR1, 0, "ID_STATUSBAR1");
  const int widths[1] = {-1};
  const int styles[1] = {wxSB_NORMAL};
  statusBar_->SetFieldsCount(1, widths);
  statusBar_->SetStatusStyles(1, styles);
  SetStatusBar(statusBar_);
}

void zevozaroridAvori::bindHandlers() {
  Bind(wxEVT_BUTTON, &zevozaroridAvori::onProcessFolder, this, ID_BUTTON1);
  Bind(wxEVT_BUTTON, &zevozaroridAvori::onQuitButton, this, ID_BUTTON2);
  Bind(wxEVT_BUTTON, &zevozaroridAvori::onProcessFile, this, ID_BUTTON3);
  Bind(wxEVT_MENU, &zevozaroridAvori::onQuitMenu, this, ID_MENU_QUIT);
  Bind(wxEVT_MENU, &zevozaroridAvori::onAbout, this, ID_MENU_ABOUT);
  Bind(wxEVT_TIMER, &zevozaroridAvori::onTimer, this, ID_TIMER1);
  Bind(wxEVT_CLOSE_WINDOW, &zevozaroridAvori::onClose, this);
  Bind(wxEVT_MENU, &zevozaroridAvori::onOpenReport, this, ID_MENU_REPORT);
  Bind(wxEVT_MENU, &zevozaroridAvori::onStopAfterThisFile, this, ID_MENU_STOP);
  Bind(wxEVT_MENU, &zevozaroridAvori::onStopNow, this, ID_MENU_STOP_NOW);
  Bind(wxEVT_MENU, &zevozaroridAvori::onOpenResults, this, ID_MENU_RESULTS);
  Bind(wxEVT_MENU, &zevozaroridAvori::onRecentFolder, this, wxID_FILE1, wxID_FILE9);
  for (const int id : {ID_MENU_SUB_FOLDERS, ID_MENU_SKIP_DONE, ID_MENU_REPLAY_GAIN, ID_MENU_WAV_TAGS}) {
    Bind(wxEVT_MENU, &zevozaroridAvori::onOptionChosen, this, id);
  }
  Bind(wxEVT_MENU, &zevozaroridAvori::onOptionChosen, this, ID_MENU_LOUDNESS_OFF,
       ID_MENU_LOUDNESS_FIRST + static_cast<int>(std::size(app::kLoudnessTargetsLufs)) - 1);
  Bind(wxEVT_MENU, &zevozaroridAvori::onOptionChosen, this, ID_MENU_MP3_RATE_BOX,
       ID_MENU_MP3_RATE_FIRST + static_cast<int>(std::size(app::kMp3RatesKbps)) - 1);
  Bind(wxEVT_MENU, &zevozaroridAvori::onOptionChosen, this, ID_MENU_WORKERS_AUTO,
       ID_MENU_WORKERS_FIRST + kWorkerIdCount - 2);
  Bind(wxEVT_TIMER, &zevozaroridAvori::onStopWatch, this, stopWatch_.GetId());
}

void zevozaroridAvori::onProcessFolder(wxCommandEvent&) {
  wxString path;
  if (jobRuns() || !choosePath(*folderDialog_, path)) return;
  startJobOver({withoutClosingSeparator(path)});
}

void zevozaroridAvori::onQuitButton(wxCommandEvent&) { quit(); }

void zevozaroridAvori::onProcessFile(wxCommandEvent&) {
  wxString path;
  if (jobRuns() || !choosePath(*fileDialog_, path)) return;
  startJobOver({batch::toNativePath(path)});
}

void zevozaroridAvori::onQuitMenu(wxCommandEvent&) { quit(); }

void zevozaroridAvori::onAbout(wxCommandEvent&) {
  wxMessageBox(wxString::Format(_("SonBalancer %s\nEvens out the tonal balance and level of music "
                                  "tracks.\n\n%s"),
                                SONBALANCER_VERSION,
                                app::buildInformation(app::BuildInformationFormat::Long)),
               _("About SonBalancer"), wxOK | wxCENTRE, nullptr, -1, -1);
}

bool zevozaroridAvori::jobRuns() const {
  // The job state is read only when no thread of a job runs: it is that thread's meanwhile.
  return job_.running() || batch::theJobState().running;
}

bool zevozaroridAvori::startJobOver(const std::vector<std::string>& paths) {
  if (jobRuns()) {
    notice(_("A job is running: it must end before another starts"));
    return false;
  }
  if (paths.empty()) return false;
  batch::theJobState().chosenPath = batch::fromNativePath(paths.front());
  const app::BoxStates boxes = boxStates();
  // No fault of an earlier job stays in view.
  notice(wxEmptyString);
  stoppedByUser_ = false;
  jobStart_ = std::chrono::steady_clock::now();
  lastResultsFolder_ = app::resultsFolderOf(paths.front());
  for (const std::string& path : paths) {
    if (platform::isFolder(path)) recentFolders_.AddFileToHistory(batch::fromNativePath(path));
  }
  {
    wxConfigBase& config = *wxConfigBase::Get();
    const wxString group = config.GetPath();
    config.SetPath(kRecentFoldersGroup);
    recentFolders_.Save(config);
    config.SetPath(group);
    config.Flush();
  }
  job_.start(app::windowJobRequest(paths, boxes, options(),
                                   app::windowReportName(std::time(nullptr))));
  fileGauge_->SetValue(0);
  timer_.Start(kProgressIntervalMs, wxTIMER_CONTINUOUS);
  showWhetherAJobRuns();
  return true;
}

void zevozaroridAvori::onTimer(wxTimerEvent&) { showJobProgress(); }

void zevozaroridAvori::showJobProgress() {
  app::WindowJobView view = job_.take();
  if (view.stateText) setStateText(*view.stateText);
  for (const wxString& text : view.notices) notice(text);
  if (view.bell) wxBell();
  if (view.filesInProcess > 1) {
    setCurrentFileText(wxString::Format(_("%u files in process: "), view.filesInProcess) +
                       view.fileText);
  } else if (!view.fileText.empty()) {
    setCurrentFileText(view.fileText);
  }
  if (view.ended) {
    showJobEnd();
    return;
  }
  // A control is touched only when its value moved: each change costs the toolkit a redraw,
  // which on a busy machine is taken from the job.
  if (fileGauge_->GetValue() != view.fileGauge) fileGauge_->SetValue(view.fileGauge);
  if (globalGauge_->GetValue() != view.globalGauge) globalGauge_->SetValue(view.globalGauge);
}

void zevozaroridAvori::showJobEnd() {
  timer_.Stop();
  const batch::JobState& job = batch::theJobState();
  lastReportPage_ = job.lastReportPage;
  if (job.fileCount > 0) {
    fileGauge_->SetValue(100);
    globalGauge_->SetValue(100);
  }
  showWhetherAJobRuns();
  const wxString took = clockText(std::chrono::steady_clock::now() - jobStart_);
  if (closeWhenJobEnds_) {
    Close(true);
    return;
  }
  if (job.fileCount == 0) return;
  if (job.stopped) {
    // A window that stays open is ready for the next job.
    setStateText(_("READY"));
    const batch::EntryCounts& counts = job.counts;
    notice(app::stoppedJobText(counts.processed + counts.skipped + counts.failed, job.fileCount,
                               counts) +
           " in " + took);
  } else {
    notice(app::jobEndText(job.counts) + " in " + took);
  }
  // A switch to another window while the job ran may still be queued: whether this one is
  // active is asked once the queue has been seen to.
  CallAfter(&zevozaroridAvori::tellOfJobEnd);
}

// The close box is not held back while a job runs: the job is stopped at once, as Ctrl-C stops
// the command, and the window closes when it has ended.
void zevozaroridAvori::onClose(wxCloseEvent& event) {
  if (job_.running()) {
    job_.stopNow("window closed");
    if (event.CanVeto()) {
      closeWhenJobEnds_ = true;
      event.Veto();
      return;
    }
    job_.wait();
    job_.take();
  }
  stopWatch_.Stop();
  timer_.Stop();
  batch::stopJob(batch::theJobState(), *this, "window closed");
  event.Skip();
}

// A stop signal (SIGINT, SIGTERM) closes the window, once the job it stopped has ended.
void zevozaroridAvori::onStopWatch(wxTimerEvent&) {
  if (platform::stopSignal() == 0) return;
  if (job_.running()) {
    closeWhenJobEnds_ = true;
    return;
  }
  batch::stopJob(batch::theJobState(), *this);
  Close(true);
}

// A job that keeps its process log writes its report beside it; the last one opens in the
// desktop's browser.
void zevozaroridAvori::onOpenReport(wxCommandEvent&) {
  if (lastReportPage_.empty()) {
    notice(_("No report yet: a job writes one when \"Trace Events in a Log File\" is ticked"));
    return;
  }
  wxFileName file(batch::fromNativePath(lastReportPage_));
  file.MakeAbsolute();
  if (!wxLaunchDefaultBrowser(wxFileName::FileNameToURL(file))) {
    notice(_("The report could not be opened: ") + file.GetFullPath());
  }
}

void zevozaroridAvori::onOpenResults(wxCommandEvent&) {
  if (lastResultsFolder_.empty() || !platform::isFolder(lastResultsFolder_)) {
    notice(_("No results folder yet: it is made by the first result of a job"));
    return;
  }
  const wxString folder = batch::fromNativePath(lastResultsFolder_);
  if (!wxLaunchDefaultApplication(folder)) notice(_("The results folder could not be opened: ") + folder);
}

void zevozaroridAvori::onRecentFolder(wxCommandEvent& event) {
  const wxString folder = recentFolders_.GetHistoryFile(event.GetId() - wxID_FILE1);
  if (!jobRuns()) startJobOver({batch::toNativePath(folder)});
}

// No file begins after those in process, which end whole; the log then ends with the stop.
void zevozaroridAvori::onStopAfterThisFile(wxCommandEvent&) {
  if (!job_.running()) return;
  stoppedByUser_ = true;
  job_.stopAfterFilesInProcess();
}

void zevozaroridAvori::onStopNow(wxCommandEvent&) {
  if (!job_.running()) return;
  stoppedByUser_ = true;
  job_.stopNow("stopped by the user");
}

// Remembered at once, so that a program that is killed keeps the choice too. A running job
// keeps the choices it began with.
void zevozaroridAvori::onOptionChosen(wxCommandEvent&) {
  app::saveWindowOptions(*wxConfigBase::Get(), options());
}

// Dropped files and folders make one job, as the paths of one command line do.
bool zevozaroridAvori::takeDrop(const wxArrayString& paths) {
  if (jobRuns()) {
    notice(_("The drop was refused: a job is running"));
    return false;
  }
  std::vector<std::string> items;
  for (const wxString& path : paths) items.push_back(withoutClosingSeparator(path));
  if (items.empty()) {
    notice(_("The drop was refused: drop music files or folders"));
    return false;
  }
  return startJobOver(items);
}

void zevozaroridAvori::showWhetherAJobRuns() {
  const bool runs = jobRuns();
  wxMenuBar* bar = GetMenuBar();
  bar->Enable(ID_MENU_STOP, runs);
  bar->Enable(ID_MENU_STOP_NOW, runs);
  if (processFolderButton_) {
    processFolderButton_->Enable(!runs);
    processFileButton_->Enable(!runs);
  }
}

void zevozaroridAvori::tellOfJobEnd() {
  if (IsActive()) return;
  notifyDesktop_(app::jobEndNotice(batch::theJobState().counts));
}

// A running job is never interrupted from here.
void zevozaroridAvori::quit() {
  if (jobRuns()) return;
  engine::releaseSampleBuffer(batch::theJobState().track.buffer);
  Close(false);
}

void zevozaroridAvori::setStateText(const wxString& text) {
  if (stateText_->GetLabel() != text) stateText_->SetLabel(text);
}

void zevozaroridAvori::notice(const wxString& text) { statusBar_->SetStatusText(text); }

// Without a sound device the toolkit's bell still tells the user.
void zevozaroridAvori::beep(int frequencyHz, int durationMs) {
  if (!platform::beep(frequencyHz, durationMs)) wxBell();
}

// A file name is shown as it is: an ampersand in it is not taken for a mnemonic.
void zevozaroridAvori::setCurrentFileText(const wxString& text) {
  if (currentFileText_->GetLabelText() != text) currentFileText_->SetLabelText(text);
}
