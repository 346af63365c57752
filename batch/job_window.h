// What the batch controller needs of the main window, and nothing more: the check boxes
// read, the gauges and texts set, the repaint, the timer and the beep. The window implements
// it; the headless command and the tests provide their own.
#pragma once

#include <wx/string.h>

#include "engine/track_host.h"

namespace batch {

class JobWindow : public engine::TrackHost {
 public:
  // "Trace Events in a Log File"
  virtual bool logBoxTicked() = 0;
  // "Perform final MP3 encoding"
  virtual bool mp3BoxTicked() = 0;
  // "Set MP3 rate to 192K (default 128k)"
  virtual bool mp3At192kTicked() = 0;
  // Options > "Match Loudness (-16 LUFS)"; only the window offers it.
  virtual bool matchLoudnessChosen() { return false; }

  // Sets a gauge (0 to 100) without repainting.
  virtual void setFileGauge(int percent) = 0;
  virtual void setGlobalGauge(int percent) = 0;

  // Labels, already through the translation lookup.
  virtual void setCurrentFileText(const wxString& text) = 0;
  virtual void setStateText(const wxString& text) = 0;

  // The job's timer: continuous ticks every intervalMs until stopped.
  virtual void startTimer(int intervalMs) = 0;
  virtual void stopTimer() = 0;

  virtual void beep(int frequencyHz, int durationMs) = 0;

  // A fault that the user must see beyond the process log, as one line without a line feed:
  // an entry that failed or was skipped ("path: reason"), an output folder held by another
  // job, the process log under another name.
  virtual void notice(const wxString& text) = 0;
};

}  // namespace batch
