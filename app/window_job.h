// The window's job on a thread of its own: set up and run by the command's batch code with
// its workers, while the window's thread only looks at its progress now and then and passes on
// the user's stop. Nothing here touches a control: what the job shows waits here, under a lock,
// for the window to take it.
#pragma once

#include <wx/string.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "batch/job_setup.h"
#include "batch/job_window.h"
#include "batch/parallel_job.h"

namespace app {

// The five check boxes as the job began.
struct BoxStates {
  bool log = false;
  bool mp3 = true;
  bool mp3At192k = false;
  bool noBassline = false;
  bool ignoreClicks = false;
};

// What a job of the window is asked: its paths, the boxes, the Options menu as the command's
// options, and the workers.
struct WindowJobRequest {
  batch::LibraryJob job;
  BoxStates boxes;
  unsigned workers = 1;
};

// What the job has shown since the window last looked.
struct WindowJobView {
  // The files in process: the least advanced one's gauge and name (the last file's once none
  // is), and how many there are.
  unsigned filesInProcess = 0;
  int fileGauge = 0;
  wxString fileText;
  // Share of the entries handled, 0 to 100.
  int globalGauge = 0;
  // The last state text set, when one was.
  std::optional<wxString> stateText;
  // Notices in the order given.
  std::vector<wxString> notices;
  // The tone was asked for and the sound device could not play it.
  bool bell = false;
  // The job's thread has ended (and was joined): the job state may be read again.
  bool ended = false;
};

class WindowJob final : public batch::JobChoices,
                        public batch::JobStatus,
                        public batch::RunProgress {
 public:
  WindowJob() = default;
  ~WindowJob() override;
  WindowJob(const WindowJob&) = delete;
  WindowJob& operator=(const WindowJob&) = delete;

  // Starts the job on its own thread unless one runs. The stop request of an earlier job is
  // forgotten first.
  bool start(WindowJobRequest request);
  // From the start until take() has reported its end.
  bool running() const { return thread_.joinable(); }

  // Stops the job as Ctrl-C does: the children in process are stopped and their output removed;
  // cause is what the log gives (a literal).
  void stopNow(const char* cause);
  // No further entry begins; those in process end as usual.
  void stopAfterFilesInProcess() { lastEntriesBegun_.store(true); }

  // What changed since the last call; joins the thread once it has ended.
  WindowJobView take();
  // Waits for the thread, after a stop, for a window that must close now.
  void wait();

  // batch::JobChoices, from the boxes as the job began.
  bool logBoxTicked() override { return boxes_.log; }
  bool mp3BoxTicked() override { return boxes_.mp3; }
  bool mp3At192kTicked() override { return boxes_.mp3At192k; }
  bool noBasslineTicked() override { return boxes_.noBassline; }
  bool ignoreClicksTicked() override { return boxes_.ignoreClicks; }

  // batch::JobStatus, from the job's thread.
  void setStateText(const wxString& text) override;
  void notice(const wxString& text) override;
  // Played on the job's thread; the window rings its bell when there is no sound device.
  void beep(int frequencyHz, int durationMs) override;

  // batch::RunProgress, from the job's thread.
  void workerFile(unsigned worker, const wxString& text) override;
  void workerGauge(unsigned worker, int percent) override;
  void workerDone(unsigned worker) override;
  void entriesDone(std::uint32_t done, std::uint32_t total) override;

 private:
  struct FileInProcess {
    bool busy = false;
    int percent = 0;
    wxString text;
  };

  void run(WindowJobRequest request);

  BoxStates boxes_;
  std::thread thread_;
  std::atomic<bool> lastEntriesBegun_{false};
  std::mutex lock_;
  // Guarded by lock_.
  std::vector<FileInProcess> files_;
  wxString lastFileText_;
  int globalGauge_ = 0;
  std::optional<wxString> stateText_;
  std::vector<wxString> notices_;
  bool bell_ = false;
  bool ended_ = false;
};

}  // namespace app
