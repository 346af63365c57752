#include "batch/parallel_job.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch/job_setup.h"
#include "batch/memory_budget.h"
#include "batch/pipeline.h"
#include "batch/result_names.h"
#include "batch/sample_blocks.h"

namespace batch {

namespace {

// One entry's log lines, held until the entries before it are written.
class EntryBlock final : public engine::ProcessLog {
 public:
  explicit EntryBlock(bool on) : on_(on) {}
  bool isOn() const override { return on_; }
  void write(std::string_view text) override {
    if (on_) text_.append(text);
  }
  std::string take() { return std::move(text_); }

 private:
  bool on_;
  std::string text_;
};

// What one worker is to the pipeline: the job's check boxes, its own file and gauge. Every
// call goes through the run's lock.
class WorkerHost final : public EntryHost {
  template <class Call>
  auto locked(Call call) {
    const std::lock_guard<std::mutex> guard(lock_);
    return call();
  }

 public:
  WorkerHost(unsigned worker, JobChoices& choices, RunProgress& progress, std::mutex& lock)
      : worker_(worker), choices_(choices), progress_(progress), lock_(lock) {}

  bool logBoxTicked() override { return locked([&] { return choices_.logBoxTicked(); }); }
  bool mp3BoxTicked() override { return locked([&] { return choices_.mp3BoxTicked(); }); }
  bool mp3At192kTicked() override { return locked([&] { return choices_.mp3At192kTicked(); }); }
  bool noBasslineTicked() override { return locked([&] { return choices_.noBasslineTicked(); }); }
  bool ignoreClicksTicked() override {
    return locked([&] { return choices_.ignoreClicksTicked(); });
  }
  // No pause: the worker holds no window's thread that would need one to repaint.
  void fileGaugeStep(int percent, int) override {
    locked([&] { progress_.workerGauge(worker_, percent); });
  }
  void fileGaugeMove(int percent) override { fileGaugeStep(percent, 0); }
  void setCurrentFileText(const wxString& text) override {
    locked([&] { progress_.workerFile(worker_, text); });
  }

 private:
  unsigned worker_;
  JobChoices& choices_;
  RunProgress& progress_;
  std::mutex& lock_;
};

class Run {
 public:
  Run(JobState& job, JobChoices& choices, JobStatus& status, RunProgress& progress,
      media::SystemServices& system, bool splitOnOwnThread, const std::atomic<bool>* lastEntriesBegun)
      : job_(job),
        choices_(choices),
        status_(status),
        progress_(progress),
        system_(system),
        count_(job.fileList.GetCount()),
        splitOnOwnThread_(splitOnOwnThread),
        lastEntriesBegun_(lastEntriesBegun),
        memory_(job.track.sampleSpaceLimit),
        started_(count_, false),
        finished_(count_, false) {
    blocks_.reserve(count_);
    for (std::size_t index = 0; index < count_; ++index) blocks_.emplace_back(job.log.isOn());
  }

  void work(unsigned worker) {
    WorkerHost view(worker, choices_, progress_, lock_);
    engine::TrackState track;
    track.sampleSpaceLimit = job_.track.sampleSpaceLimit;
    track.splitOnOwnThread = splitOnOwnThread_;
    drawLargeSampleBlocks(track.buffer);
    SampleSpaceShare samples(memory_, track.buffer);
    for (;;) {
      std::size_t index = 0;
      AdmittedEntry admitted;
      std::string temporaryWavName;
      {
        const std::lock_guard<std::mutex> guard(lock_);
        if (stopping_ || next_ >= count_ || system_.stopRequested()) break;
        if (lastEntriesBegun_ && lastEntriesBegun_->load()) {
          closedByUser_ = true;
          break;
        }
        index = next_++;
        started_[index] = true;
        temporaryWavName = numberedTemporaryWavName(index + 1);
        EntryWork work{track, blocks_[index], view, system_, temporaryWavName};
        admitted = admitEntry(job_, work, job_.fileList[index], outputFolderOf(job_, index));
      }
      EntryWork work{track, blocks_[index], view, system_, temporaryWavName, &samples};
      const EntryResult result = admitted.admitted
                                     ? processAdmittedEntry(job_, work, job_.fileList[index], admitted)
                                     : admitted.result;
      samples.entryEnded();
      const std::lock_guard<std::mutex> guard(lock_);
      if (result.outcome == EntryOutcome::Stopped) {
        stopping_ = true;
        break;
      }
      recordEntry(job_, status_, index, result);
      finished_[index] = true;
      progress_.entriesDone(static_cast<std::uint32_t>(++done_), static_cast<std::uint32_t>(count_));
      writeFinishedBlocks();
    }
    samples.giveBack();
    const std::lock_guard<std::mutex> guard(lock_);
    progress_.workerDone(worker);
  }

  // After the workers: the end of the job, or its stop with every block begun.
  void end() {
    job_.currentIndex = static_cast<std::uint32_t>(count_);
    if (!stopping_ && done_ == count_) {
      finishJob(job_, status_, system_);
      return;
    }
    for (std::size_t index = written_; index < count_; ++index) {
      if (!started_[index]) continue;
      job_.log.write(blocks_[index].take());
      job_.log.finishLine();
    }
    stopJob(job_, status_, closedByUser_ && !stopping_ ? "stopped by the user" : "");
  }

 private:
  void writeFinishedBlocks() {
    while (written_ < count_ && finished_[written_]) {
      job_.log.write(blocks_[written_].take());
      job_.log.commit();
      ++written_;
    }
  }

  JobState& job_;
  JobChoices& choices_;
  JobStatus& status_;
  RunProgress& progress_;
  media::SystemServices& system_;
  const std::size_t count_;
  const bool splitOnOwnThread_;
  const std::atomic<bool>* lastEntriesBegun_;
  // The samples of every worker's track together stay within the job's memory.
  MemoryBudget memory_;
  std::mutex lock_;
  std::vector<EntryBlock> blocks_;
  std::vector<bool> started_;
  std::vector<bool> finished_;
  std::size_t next_ = 0;
  std::size_t done_ = 0;
  std::size_t written_ = 0;
  bool stopping_ = false;
  bool closedByUser_ = false;
};

}  // namespace

void runEntriesAtOnce(JobState& job, JobChoices& choices, JobStatus& status,
                      RunProgress& progress, media::SystemServices& system, unsigned workers,
                      const std::atomic<bool>* lastEntriesBegun) {
  if (!job.running) return;
  const std::size_t count = job.fileList.GetCount();
  const unsigned threads = static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(workers, count)));
  Run run(job, choices, status, progress, system, coreFreeBesideEachWorker(threads),
          lastEntriesBegun);
  std::vector<std::thread> pool;
  pool.reserve(threads);
  for (unsigned worker = 0; worker < threads; ++worker) {
    pool.emplace_back([&run, worker] { run.work(worker); });
  }
  for (std::thread& thread : pool) thread.join();
  run.end();
}

}  // namespace batch
