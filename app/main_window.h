// The main window: heading, buttons, option check boxes, gauges, texts, menus, status bar, the
// two selection dialogs, the drop target and the timer that drives a job. It is also the job's
// JobWindow.
#pragma once

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/timer.h>

#include "app/job_end_notice.h"
#include "batch/job_state.h"
#include "batch/job_window.h"

class zevozaroridAvori : public wxFrame, public batch::JobWindow {
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
  static const wxWindowID ID_MENU_MATCH_LOUDNESS;

  // batch::JobWindow
  bool logBoxTicked() override;
  bool matchLoudnessChosen() override;
  bool mp3BoxTicked() override;
  bool mp3At192kTicked() override;
  bool noBasslineTicked() override;
  bool ignoreClicksTicked() override;
  void fileGaugeStep(int percent, int pauseMs) override;
  void setFileGauge(int percent) override;
  void setGlobalGauge(int percent) override;
  void setCurrentFileText(const wxString& text) override;
  void setStateText(const wxString& text) override;
  void startTimer(int intervalMs) override;
  void stopTimer() override;
  void beep(int frequencyHz, int durationMs) override;
  // Shown in the status bar.
  void notice(const wxString& text) override;

  // The job's timer, for those who need to look at it.
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
  void onMatchLoudness(wxCommandEvent& event);

  // What a process command does once it has its path, and what a drop of one item does.
  void startJobOver(batch::JobMode mode, const wxString& path);
  // Takes a drop of one file or one folder while no job runs; refuses any other with a notice.
  bool takeDrop(const wxArrayString& paths);
  // "Stop After This File" can be chosen only while a job runs.
  void showWhetherAJobRuns();
  void tellOfJobEnd();
  void quit();

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
  // Looks for a stop signal (SIGINT, SIGTERM) now and then, so that one that arrives between
  // two entries, or while no job runs, still closes the window.
  wxTimer stopWatch_;
  app::DesktopNotifier notifyDesktop_;
};
