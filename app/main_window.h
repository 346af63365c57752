// The main window: heading, buttons, option check boxes, gauges, texts, menus, status bar, the
// two selection dialogs and the drop target. Its job runs on a thread of its own (WindowJob);
// the window's timer shows the job's progress while it runs.
#pragma once

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/filehistory.h>
#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/timer.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/job_end_notice.h"
#include "app/window_job.h"
#include "app/window_options.h"
#include "batch/job_state.h"
#include "batch/job_window.h"

class zevozaroridAvori : public wxFrame, public batch::JobStatus {
 public:
  zevozaroridAvori(wxWindow* parent, wxWindowID id = wxID_ANY);
  ~zevozaroridAvori() override = default;

  // Taken once at start-up, in this order; each control's window name is its id's name.
  static const wxWindowID ID_STATICTEXT1;
  static const wxWindowID ID_BUTTON1;
  static const wxWindowID ID_BUTTON2;
  static const wxWindowID ID_CHECKBOX1;
  static const wxWindowID ID_CHECKBOX2;
  static const wxWindowID ID_CHECKBOX3;
  static const wxWindowID ID_BUTTON3;
  static const wxWindowID ID_CHECKBOX4;
  static const wxWindowID ID_GAUGE1;
  static const wxWindowID ID_GAUGE2;
  static const wxWindowID ID_STATICTEXT2;
  static const wxWindowID ID_STATICTEXT3;
  static const wxWindowID ID_CHECKBOX5;
  static const wxWindowID ID_STATICTEXT4;
  static const wxWindowID ID_MENU_QUIT;
  static const wxWindowID ID_MENU_ABOUT;
  static const wxWindowID ID_STATUSBAR1;
  static const wxWindowID ID_TIMER1;
  static const wxWindowID ID_MENU_REPORT;
  static const wxWindowID ID_MENU_STOP;
  static const wxWindowID ID_MENU_STOP_NOW;
  static const wxWindowID ID_MENU_RESULTS;
  static const wxWindowID ID_MENU_SUB_FOLDERS;
  static const wxWindowID ID_MENU_SKIP_DONE;
  static const wxWindowID ID_MENU_REPLAY_GAIN;
  // Loudness Target: Off, then each of app::kLoudnessTargetsLufs.
  static const wxWindowID ID_MENU_LOUDNESS_OFF;
  static const wxWindowID ID_MENU_LOUDNESS_FIRST;
  static const wxWindowID ID_MENU_WAV_TAGS;
  // MP3 Rate: As the Check Box, then each of app::kMp3RatesKbps.
  static const wxWindowID ID_MENU_MP3_RATE_BOX;
  static const wxWindowID ID_MENU_MP3_RATE_FIRST;
  // Workers: Automatic, then 1 to the processors.
  static const wxWindowID ID_MENU_WORKERS_AUTO;
  static const wxWindowID ID_MENU_WORKERS_FIRST;

  // batch::JobStatus, for the end of a job that has no thread of its own running.
  void setStateText(const wxString& text) override;
  // Shown in the status bar.
  void notice(const wxString& text) override;
  void beep(int frequencyHz, int durationMs) override;

  // Starts a job over the files and folders given (each as the file-system's bytes), as a drop
  // of them does; refused with a notice while a job runs. Returns true when the job started.
  bool startJobOver(const std::vector<std::string>& paths);
  // A job runs, from its start until the window has shown its end.
  bool jobRuns() const;
  // The Options menu as it stands.
  app::WindowOptions options() const;
  // The five check boxes as they stand.
  app::BoxStates boxStates() const;

  // The timer that shows the job's progress, for those who need to look at it.
  const wxTimer& timer() const { return timer_; }

  // Replaces the toolkit's notification that tells of a job that ended while the window was
  // not the active window.
  void setDesktopNotifier(app::DesktopNotifier notifier) { notifyDesktop_ = std::move(notifier); }

 private:
  void createControls();
  void createMenuBar();
  void createStatusBar();
  void bindHandlers();

  void onProcessFolder(wxCommandEvent& event);
  void onQuitButton(wxCommandEvent& event);
  void onProcessFile(wxCommandEvent& event);
  void onQuitMenu(wxCommandEvent& event);
  void onAbout(wxCommandEvent& event);
  void onTimer(wxTimerEvent& event);
  void onClose(wxCloseEvent& event);
  void onStopWatch(wxTimerEvent& event);
  void onOpenReport(wxCommandEvent& event);
  void onStopAfterThisFile(wxCommandEvent& event);
  void onStopNow(wxCommandEvent& event);
  void onOpenResults(wxCommandEvent& event);
  void onRecentFolder(wxCommandEvent& event);
  void onOptionChosen(wxCommandEvent& event);

  // Takes a drop of files and folders while no job runs; refuses any other with a notice.
  bool takeDrop(const wxArrayString& paths);
  // The stop commands can be chosen only while a job runs, the process commands only while
  // none does.
  void showWhetherAJobRuns();
  // Shows what the job has shown since the last look; at its end, the end.
  void showJobProgress();
  void showJobEnd();
  void tellOfJobEnd();
  void quit();
  void setCurrentFileText(const wxString& text);

  wxStaticText* globalProgressCaption_ = nullptr;
  wxButton* processFolderButton_ = nullptr;
  wxGauge* fileGauge_ = nullptr;
  wxCheckBox* ignoreClicksBox_ = nullptr;
  wxCheckBox* mp3Box_ = nullptr;
  wxStaticText* heading_ = nullptr;
  // The two dialogs are made once and reused by every job.
  wxFileDialog* fileDialog_ = nullptr;
  wxStaticText* currentFileText_ = nullptr;
  wxButton* quitButton_ = nullptr;
  wxCheckBox* noBasslineBox_ = nullptr;
  wxButton* processFileButton_ = nullptr;
  wxStatusBar* statusBar_ = nullptr;
  wxDirDialog* folderDialog_ = nullptr;
  wxCheckBox* logBox_ = nullptr;
  wxGauge* globalGauge_ = nullptr;
  wxCheckBox* mp3At192kBox_ = nullptr;
  wxStaticText* stateText_ = nullptr;
  wxTimer timer_;
  app::WindowJob job_;
  std::chrono::steady_clock::time_point jobStart_;
  // The job was stopped by the close box or a signal: the window closes once it has ended.
  bool closeWhenJobEnds_ = false;
  // The job was stopped from the File menu.
  bool stoppedByUser_ = false;
  // The page of the last report, copied when a job ends: the job state is the job's while it
  // runs.
  std::string lastReportPage_;
  // The results folder of the last job's first path.
  std::string lastResultsFolder_;
  // The folders of the last jobs, newest first, kept in the toolkit's config.
  wxFileHistory recentFolders_{9, wxID_FILE1};
  // Looks for a stop signal (SIGINT, SIGTERM) now and then, so that one that arrives between
  // two entries, or while no job runs, still closes the window.
  wxTimer stopWatch_;
  app::DesktopNotifier notifyDesktop_;
};
