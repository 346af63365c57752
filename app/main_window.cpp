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

#include <functional>

#include "app/build_information.h"
#include "app/compact_check_box.h"
#include "app/job_end_notice.h"
#include "batch/job_setup.h"
#include "batch/native_path.h"
#include "batch/pipeline.h"
#include "engine/sample_buffer.h"
#include "media/system_services.h"
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
const wxWindowID zevozaroridAvori::ID_MENU_MATCH_LOUDNESS = wxNewId();

namespace {

// The toolkit's per-user configuration keeps the Options menu's choice between runs.
const char* const kMatchLoudnessKey = "/Options/MatchLoudness";

// The buttons stand 128 and 120 pixels apart; toolkits whose buttons carry wide margins would
// let each one cover the label of the next. So they fit their labels, with a little room kept
// on each side so that the text does not touch the border.
constexpr long kButtonStyle = wxBU_EXACTFIT;
constexpr int kButtonSideRoomPx = 2;

constexpr int kStopWatchIntervalMs = 250;

void fitToLabel(wxButton& button) {
  button.SetSize(button.GetBestSize() + wxSize(2 * kButtonSideRoomPx, 0));
}

// Where a fixed size is too small for a control's label, the whole label shows as its tip.
void tipWholeLabelIfClipped(wxControl& control) {
  if (control.GetSize().x < control.GetBestSize().x) control.SetToolTip(control.GetLabelText());
}

// Shows the command's dialog and gives the path chosen with OK. A job already running refuses
// the command before the dialog appears, as Quit does.
template <class PathDialog>
bool choosePath(PathDialog& dialog, wxString& path) {
  if (batch::theJobState().running) return false;
  if (dialog.ShowModal() != wxID_OK) return false;
  path = dialog.GetPath();
  return true;
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
  bindHandlers();
  stopWatch_.SetOwner(this, wxID_ANY);
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
  mp3At192kBox_ =
      new CompactCheckBox(this, ID_CHECKBOX5, _("Set MP3 rate to 192K (default 128k)"),
                          wxPoint(40, 392), wxSize(200, 13), 0, wxDefaultValidator, "ID_CHECKBOX5");
  mp3At192kBox_->SetValue(false);
  tipWholeLabelIfClipped(*mp3At192kBox_);
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
  fileMenu->Append(new wxMenuItem(fileMenu, ID_MENU_STOP, _("Stop After This File\tCtrl+."),
                                  _("Stop the job once the file in process is done"),
                                  wxITEM_NORMAL));
  fileMenu->Append(new wxMenuItem(fileMenu, ID_MENU_QUIT, _("Quit\tAlt-F4"),
                                  _("Quit the application"), wxITEM_NORMAL));
  menuBar->Append(fileMenu, _("&File"));
  auto* optionsMenu = new wxMenu();
  optionsMenu->AppendCheckItem(ID_MENU_MATCH_LOUDNESS, _("Match Loudness (-16 LUFS)"),
                               _("Bring every result to -16 LUFS, as far as a true peak of "
                                 "-1 dBTP allows"));
  bool matchLoudness = false;
  wxConfigBase::Get()->Read(kMatchLoudnessKey, &matchLoudness, false);
  optionsMenu->Check(ID_MENU_MATCH_LOUDNESS, matchLoudness);
  menuBar->Append(optionsMenu, _("Options"));
  auto* helpMenu = new wxMenu();
  helpMenu->Append(new wxMenuItem(helpMenu, ID_MENU_ABOUT, _("About\tF1"),
                                  _("Show info about this application"), wxITEM_NORMAL));
  menuBar->Append(helpMenu, _("Help"));
  SetMenuBar(menuBar);
  showWhetherAJobRuns();
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
  Bind(wxEVT_MENU, &zevozaroridAvori::onMatchLoudness, this, ID_MENU_MATCH_LOUDNESS);
  Bind(wxEVT_TIMER, &zevozaroridAvori::onStopWatch, this, stopWatch_.GetId());
}

void zevozaroridAvori::onProcessFolder(wxCommandEvent&) {
  wxString path;
  if (choosePath(*folderDialog_, path)) startJobOver(batch::JobMode::Folder, path);
}

void zevozaroridAvori::onQuitButton(wxCommandEvent&) { quit(); }

void zevozaroridAvori::onProcessFile(wxCommandEvent&) {
  wxString path;
  if (choosePath(*fileDialog_, path)) startJobOver(batch::JobMode::SingleFile, path);
}

void zevozaroridAvori::onQuitMenu(wxCommandEvent&) { quit(); }

void zevozaroridAvori::onAbout(wxCommandEvent&) {
  wxMessageBox(app::buildInformation(app::BuildInformationFormat::Long), _("About SonBalancer"),
               wxOK | wxCENTRE, nullptr, -1, -1);
}

void zevozaroridAvori::onTimer(wxTimerEvent&) {
  batch::JobState& job = batch::theJobState();
  const bool wasRunning = job.running;
  batch::timerTick(job, *this, media::realSystemServices());
  showWhetherAJobRuns();
  // A job stopped by a signal closes the window; only one that ran to its end is told of. The
  // last entry held the event loop, so a switch to another window while it ran is still
  // queued: whether this one is active is asked once the queue has been seen to.
  if (wasRunning && !job.running && !job.stopped) CallAfter(&zevozaroridAvori::tellOfJobEnd);
}

// The close box is not held back while a job runs: the job is stopped between two entries,
// which leaves only whole results and a log that says so.
void zevozaroridAvori::onClose(wxCloseEvent& event) {
  stopWatch_.Stop();
  timer_.Stop();
  batch::stopJob(batch::theJobState(), *this, "window closed");
  event.Skip();
}

void zevozaroridAvori::onStopWatch(wxTimerEvent&) {
  if (!platform::stopRequested()) return;
  batch::stopJob(batch::theJobState(), *this);
  Close(true);
}

// A job that keeps its process log writes its report beside it; the last one opens in the
// desktop's browser.
void zevozaroridAvori::onOpenReport(wxCommandEvent&) {
  const std::string& page = batch::theJobState().lastReportPage;
  if (page.empty()) {
    notice(_("No report yet: a job writes one when \"Trace Events in a Log File\" is ticked"));
    return;
  }
  wxFileName file(batch::fromNativePath(page));
  file.MakeAbsolute();
  if (!wxLaunchDefaultBrowser(wxFileName::FileNameToURL(file))) {
    notice(_("The report could not be opened: ") + file.GetFullPath());
  }
}

// The whole job runs on this thread, one entry a tick, so the command is only seen between two
// entries: the entry in process is already whole, and the job stops as the close box stops it.
// The window is then ready for the next job, not closing, so it says "READY" rather than the
// stop's "STOPPED", and the status bar gives the counts.
void zevozaroridAvori::onStopAfterThisFile(wxCommandEvent&) {
  batch::JobState& job = batch::theJobState();
  if (!job.running) return;
  timer_.Stop();
  const std::uint32_t filesDone = job.currentIndex;
  batch::stopJob(job, *this, "stopped by the user");
  setStateText(_("READY"));
  notice(app::stoppedJobText(filesDone, job.fileCount, job.counts));
  showWhetherAJobRuns();
  tellOfJobEnd();
}

// Remembered at once, so that a program that is killed keeps the choice too.
void zevozaroridAvori::onMatchLoudness(wxCommandEvent&) {
  wxConfigBase* config = wxConfigBase::Get();
  config->Write(kMatchLoudnessKey, matchLoudnessChosen());
  config->Flush();
}

void zevozaroridAvori::startJobOver(batch::JobMode mode, const wxString& path) {
  batch::startJob(batch::theJobState(), *this, mode, path);
  showWhetherAJobRuns();
}

// One item starts the job that its process command would start, without the dialog.
bool zevozaroridAvori::takeDrop(const wxArrayString& paths) {
  if (batch::theJobState().running) {
    notice(_("The drop was refused: a job is running"));
    return false;
  }
  if (paths.size() != 1) {
    notice(_("The drop was refused: drop one music file or one folder"));
    return false;
  }
  wxString path = paths[0];
  // A folder dragged from some file managers ends in a separator, which the folder dialog
  // never gives.
  while (path.size() > 1 && path.EndsWith("/")) path.RemoveLast();
  const bool folder = platform::isFolder(batch::toNativePath(path));
  startJobOver(folder ? batch::JobMode::Folder : batch::JobMode::SingleFile, path);
  return true;
}

void zevozaroridAvori::showWhetherAJobRuns() {
  GetMenuBar()->Enable(ID_MENU_STOP, batch::theJobState().running);
}

void zevozaroridAvori::tellOfJobEnd() {
  if (IsActive()) return;
  notifyDesktop_(app::jobEndNotice(batch::theJobState().counts));
}

// A running job is never interrupted from here.
void zevozaroridAvori::quit() {
  batch::JobState& job = batch::theJobState();
  if (job.running) return;
  engine::releaseSampleBuffer(job.track.buffer);
  Close(false);
}
