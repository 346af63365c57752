// What the job asks of the front end that runs it, cut along its users: the choices it reads,
// what one entry shows while it is worked on, the words and tone of the job's state, and the
// gauges and timer of a job run one entry a tick. Each front end serves only what it shows.
#pragma once

#include <wx/string.h>

#include "batch/entry_outcome.h"
#include "engine/track_host.h"

namespace batch {

// The check boxes, read by the set-up and by each entry as it begins.
class JobChoices {
 public:
  virtual ~JobChoices() = default;
  // "Trace Events in a Log File"
  virtual bool logBoxTicked() = 0;
  // "Perform final MP3 encoding"
  virtual bool mp3BoxTicked() = 0;
  // "Set MP3 rate to 192K (default 128k)"
  virtual bool mp3At192kTicked() = 0;
  // "The tracks have no bassline"
  virtual bool noBasslineTicked() = 0;
  // "Ignore short clicks (vinyle records)"
  virtual bool ignoreClicksTicked() = 0;
};

// What one entry reads and shows while it is worked on: the choices, the engine's file gauge,
// and the entry's name.
class EntryHost : public JobChoices, public engine::TrackHost {
 public:
  // Already through the translation lookup.
  virtual void setCurrentFileText(const wxString& text) = 0;
  // The file gauge (0 to 100) moved by a child's progress (the converter, the encoder) as
  // often as the child reports it: shown without a pause. A front end that shows only the
  // fixed steps leaves it (the default).
  virtual void fileGaugeMove(int percent) { (void)percent; }
  // The engine's two boxes are the job's.
  bool noBasslineTicked() override = 0;
  bool ignoreClicksTicked() override = 0;
};

// What the job tells of its state: the state text, its faults, and the tone of a job that
// saved nothing.
class JobStatus {
 public:
  virtual ~JobStatus() = default;
  // Already through the translation lookup.
  virtual void setStateText(const wxString& text) = 0;
  // A fault that the user must see beyond the process log, as one line without a line feed:
  // an entry that failed or was skipped ("path: reason"), an output folder held by another
  // job, the process log under another name.
  virtual void notice(const wxString& text) = 0;
  virtual void beep(int frequencyHz, int durationMs) = 0;
  // An entry of the job has ended (never one cut short by a stop): its path as listed, and for
  // a skip or a failure the reason. A skip for a fault and a failure are notices
  // ("path: reason") unless the front end shows every entry's end its own way.
  virtual void entryEnded(const wxString& entry, EntryOutcome outcome, const wxString& reason) {
    if (outcome == EntryOutcome::Skipped || outcome == EntryOutcome::Failed) {
      notice(entry + ": " + reason);
    }
  }
};

// The whole of what a job run one entry a tick (timerTick) touches: the above, the two
// gauges and the timer that paces the ticks.
class JobWindow : public EntryHost, public JobStatus {
 public:
  // Sets a gauge (0 to 100) without repainting.
  virtual void setFileGauge(int percent) = 0;
  virtual void setGlobalGauge(int percent) = 0;

  // The job's timer: continuous ticks every intervalMs until stopped.
  virtual void startTimer(int intervalMs) = 0;
  virtual void stopTimer() = 0;
};

}  // namespace batch
