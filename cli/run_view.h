// The headless command's view of a run whose entries go several at once: one line for the
// whole run (entries done of all, tracks a minute, time left) and one for each worker's file,
// redrawn in place on a terminal; elsewhere a line for each file as it ends. The faults as
// lines of their own.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "batch/job_window.h"
#include "batch/parallel_job.h"
#include "cli/console_window.h"

namespace cli {

class ConsoleRunView final : public batch::JobChoices,
                             public batch::JobStatus,
                             public batch::RunProgress {
 public:
  // Files are named through given (shownPath).
  ConsoleRunView(const CheckBoxes& boxes, std::FILE* progress, ProgressStyle style, int columns,
                 unsigned workers, std::vector<GivenPath> given = {});

  bool logBoxTicked() override { return boxes_.log; }
  bool mp3BoxTicked() override { return boxes_.mp3; }
  bool mp3At192kTicked() override { return boxes_.mp3At192k; }
  bool noBasslineTicked() override { return boxes_.noBassline; }
  bool ignoreClicksTicked() override { return boxes_.ignoreClicks; }
  void setStateText(const wxString& text) override { stateText_ = text; }
  void notice(const wxString& text) override;
  void entryEnded(const wxString& entry, batch::EntryOutcome outcome,
                  const wxString& reason) override;
  // The exit status and the last words tell the outcome; a script has no use for a tone.
  void beep(int, int) override {}

  void workerFile(unsigned worker, const wxString& text) override;
  void workerGauge(unsigned worker, int percent) override;
  void workerDone(unsigned worker) override;
  void entriesDone(std::uint32_t done, std::uint32_t total) override;

  const wxString& stateText() const { return stateText_; }
  // Leaves the redrawn lines as they are, the cursor below them.
  void endProgress() { drawnLines_ = 0; }

  // The run's line, e.g. "12/300 done  4.2 tracks a minute  about 1:10:05 left".
  std::string runLine() const;

 private:
  struct Worker {
    std::string file;
    int percent = 0;
  };

  std::string workerLine(unsigned worker) const;
  void redraw();
  void clearDrawn();

  CheckBoxes boxes_;
  std::FILE* progress_;
  ProgressStyle style_;
  int columns_;
  std::vector<GivenPath> given_;
  std::vector<Worker> workers_;
  std::uint32_t done_ = 0;
  std::uint32_t total_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  wxString stateText_ = "READY";
  std::size_t drawnLines_ = 0;
};

}  // namespace cli
