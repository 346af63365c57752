#include "app/window_job.h"

#include <algorithm>

#include "batch/job_state.h"
#include "batch/pipeline.h"
#include "media/system_services.h"
#include "platform/beep.h"
#include "platform/signals.h"

namespace app {

WindowJob::~WindowJob() {
  if (!thread_.joinable()) return;
  platform::requestStop("window closed");
  thread_.join();
}

bool WindowJob::start(WindowJobRequest request) {
  if (thread_.joinable()) return false;
  // A signal stays: it closes the window, with or without a job.
  if (platform::stopSignal() == 0) platform::clearStopRequest();
  boxes_ = request.boxes;
  lastEntriesBegun_.store(false);
  {
    const std::lock_guard<std::mutex> guard(lock_);
    files_.assign(request.workers, FileInProcess{});
    lastFileText_.clear();
    globalGauge_ = 0;
    stateText_.reset();
    notices_.clear();
    bell_ = false;
    ended_ = false;
  }
  thread_ = std::thread([this, request = std::move(request)]() mutable { run(std::move(request)); });
  return true;
}

// The set-up too runs here: listing a library's folders can take a while.
void WindowJob::run(WindowJobRequest request) {
  batch::JobState& job = batch::theJobState();
  if (batch::setUpLibraryJob(job, *this, *this, request.job) == 0) {
    batch::runEntriesAtOnce(job, *this, *this, *this, media::realSystemServices(),
                            request.workers, &lastEntriesBegun_);
  } else {
    beep(batch::kBeepFrequencyHz, batch::kBeepDurationMs);
  }
  const std::lock_guard<std::mutex> guard(lock_);
  ended_ = true;
}

void WindowJob::stopNow(const char* cause) {
  if (thread_.joinable()) platform::requestStop(cause);
}

WindowJobView WindowJob::take() {
  WindowJobView view;
  {
    const std::lock_guard<std::mutex> guard(lock_);
    view.globalGauge = globalGauge_;
    view.stateText = std::move(stateText_);
    stateText_.reset();
    view.notices.swap(notices_);
    view.bell = bell_;
    bell_ = false;
    view.ended = ended_;
    // The least advanced file tells when the files in process will all be done.
    view.fileGauge = 100;
    view.fileText = lastFileText_;
    for (const FileInProcess& file : files_) {
      if (!file.busy) continue;
      ++view.filesInProcess;
      if (file.percent <= view.fileGauge) {
        view.fileGauge = file.percent;
        view.fileText = file.text;
      }
    }
    if (view.filesInProcess == 0) view.fileGauge = 0;
  }
  if (view.ended && thread_.joinable()) thread_.join();
  return view;
}

void WindowJob::wait() {
  if (thread_.joinable()) thread_.join();
}

void WindowJob::setStateText(const wxString& text) {
  const std::lock_guard<std::mutex> guard(lock_);
  stateText_ = text;
}

void WindowJob::notice(const wxString& text) {
  const std::lock_guard<std::mutex> guard(lock_);
  notices_.push_back(text);
}

void WindowJob::beep(int frequencyHz, int durationMs) {
  if (platform::beep(frequencyHz, durationMs)) return;
  const std::lock_guard<std::mutex> guard(lock_);
  bell_ = true;
}

void WindowJob::workerFile(unsigned worker, const wxString& text) {
  const std::lock_guard<std::mutex> guard(lock_);
  if (worker >= files_.size()) return;
  files_[worker] = FileInProcess{true, 0, text};
  lastFileText_ = text;
}

void WindowJob::workerGauge(unsigned worker, int percent) {
  const std::lock_guard<std::mutex> guard(lock_);
  if (worker < files_.size()) files_[worker].percent = std::clamp(percent, 0, 100);
}

void WindowJob::workerDone(unsigned worker) {
  const std::lock_guard<std::mutex> guard(lock_);
  if (worker < files_.size()) files_[worker] = FileInProcess{};
}

void WindowJob::entriesDone(std::uint32_t done, std::uint32_t total) {
  const std::lock_guard<std::mutex> guard(lock_);
  globalGauge_ = total == 0 ? 100 : static_cast<int>(std::uint64_t{done} * 100 / total);
}

}  // namespace app
