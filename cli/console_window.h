// The headless command's stand-in for the main window: the check boxes come from the command
// line, the gauges and the current file show as a progress line on standard error (on a
// terminal; elsewhere a line for each file as it ends), and each fault as a line of its own.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "batch/job_window.h"
#include "cli/file_lines.h"

namespace cli {

// The five options, with the window's initial states.
struct CheckBoxes {
  bool log = false;
  bool mp3 = true;
  bool mp3At192k = false;
  bool noBassline = false;
  bool ignoreClicks = false;
};

enum class ProgressStyle {
  Redrawn,    // rewritten in place as it changes, for a terminal
  FileLines,  // a line for each file as it ends, with how it ended, for a file or a pipe
  Quiet,      // none: the faults alone (--quiet)
};

// Writes the line of an entry that ended without a fault to progress when style gives each file
// its line; false when it wrote nothing, and the entry's end is then the job's to show.
bool writeEndedLine(std::FILE* progress, ProgressStyle style, const std::vector<GivenPath>& given,
                    const wxString& entry, batch::EntryOutcome outcome);

class ConsoleWindow final : public batch::JobWindow {
 public:
  // columns: the width a redrawn line must fit in; 0 when unknown. Files are named through
  // given (shownPath).
  ConsoleWindow(const CheckBoxes& boxes, std::FILE* progress, ProgressStyle style, int columns,
                std::vector<GivenPath> given = {});

  bool logBoxTicked() override { return boxes_.log; }
  bool mp3BoxTicked() override { return boxes_.mp3; }
  bool mp3At192kTicked() override { return boxes_.mp3At192k; }
  bool noBasslineTicked() override { return boxes_.noBassline; }
  bool ignoreClicksTicked() override { return boxes_.ignoreClicks; }

  // No pause: there is no window to repaint, so the step only shows the value.
  void fileGaugeStep(int percent, int pauseMs) override;
  void setFileGauge(int percent) override;
  void setGlobalGauge(int percent) override;
  void setCurrentFileText(const wxString& text) override;
  void setStateText(const wxString& text) override { stateText_ = text; }
  // The command runs the ticks one after the other; there is no timer to arm.
  void startTimer(int) override {}
  void stopTimer() override {}
  // The exit status and the last words tell the outcome; a script has no use for a tone.
  void beep(int, int) override {}
  // A line of its own on standard error, below the progress.
  void notice(const wxString& text) override;
  void entryEnded(const wxString& entry, batch::EntryOutcome outcome,
                  const wxString& reason) override;

  const wxString& stateText() const { return stateText_; }
  // Ends a redrawn line so that what follows starts on a line of its own.
  void endProgress();

  // The progress as one line, e.g. "file [#####...............]  25%  job [...] 0%  name".
  std::string progressLine() const;

 private:
  void show();

  CheckBoxes boxes_;
  std::FILE* progress_;
  ProgressStyle style_;
  int columns_;
  std::vector<GivenPath> given_;
  int fileGauge_ = 0;
  int globalGauge_ = 0;
  wxString currentFile_;
  wxString stateText_ = "READY";
  std::string shownLine_;
};

}  // namespace cli
