// The main window as the batch controller sees it: check boxes and the Options menu read, gauges
// and texts set, the repaint of a gauge step, the timer and the beep.
#include <wx/menu.h>
#include <wx/utils.h>

#include "app/main_window.h"
#include "platform/beep.h"
#include "platform/sleep.h"

bool zevozaroridAvori::logBoxTicked() { return logBox_->GetValue(); }
bool zevozaroridAvori::mp3BoxTicked() { return mp3Box_->GetValue(); }
bool zevozaroridAvori::mp3At192kTicked() { return mp3At192kBox_->GetValue(); }
bool zevozaroridAvori::noBasslineTicked() { return noBasslineBox_->GetValue(); }
bool zevozaroridAvori::ignoreClicksTicked() { return ignoreClicksBox_->GetValue(); }
bool zevozaroridAvori::matchLoudnessChosen() {
  return GetMenuBar()->IsChecked(ID_MENU_MATCH_LOUDNESS);
}

// The whole job runs on this thread, so the gauge is only seen if the frame is repainted
// here and now; the pause then leaves it on screen long enough to be read.
void zevozaroridAvori::fileGaugeStep(int percent, int pauseMs) {
  fileGauge_->SetValue(percent);
  Refresh(true);
  Update();
  platform::sleepMs(pauseMs);
}

void zevozaroridAvori::setFileGauge(int percent) { fileGauge_->SetValue(percent); }
void zevozaroridAvori::setGlobalGauge(int percent) { globalGauge_->SetValue(percent); }

// A file name is shown as it is: an ampersand in it is not taken for a mnemonic.
void zevozaroridAvori::setCurrentFileText(const wxString& text) {
  currentFileText_->SetLabelText(text);
}
void zevozaroridAvori::setStateText(const wxString& text) { stateText_->SetLabel(text); }

void zevozaroridAvori::notice(const wxString& text) { statusBar_->SetStatusText(text); }

void zevozaroridAvori::startTimer(int intervalMs) { timer_.Start(intervalMs, wxTIMER_CONTINUOUS); }
void zevozaroridAvori::stopTimer() { timer_.Stop(); }

// Without a sound device the toolkit's bell still tells the user.
void zevozaroridAvori::beep(int frequencyHz, int durationMs) {
  if (!platform::beep(frequencyHz, durationMs)) wxBell();
}
