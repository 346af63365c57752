#include "cli/run_view.h"

#include <algorithm>
#include <utility>

#include "batch/native_path.h"

namespace cli {

namespace {

constexpr int kBarWidth = 20;

std::string clockText(long seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

}  // namespace

ConsoleRunView::ConsoleRunView(const CheckBoxes& boxes, std::FILE* progress, ProgressStyle style,
                               int columns, unsigned workers, std::vector<GivenPath> given)
    : boxes_(boxes),
      progress_(progress),
      style_(style),
      columns_(columns),
      given_(std::move(given)),
      workers_(workers) {}

std::string ConsoleRunView::runLine() const {
  std::string line = std::to_string(done_) + "/" + std::to_string(total_) + " done";
  const double minutes =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count() / 60.0;
  if (done_ == 0 || minutes <= 0.0) return line;
  const double perMinute = done_ / minutes;
  char rate[32];
  std::snprintf(rate, sizeof rate, "  %.1f tracks a minute", perMinute);
  line += rate;
  const long secondsLeft = static_cast<long>((total_ - done_) / perMinute * 60.0 + 0.5);
  return line + "  about " + clockText(secondsLeft) + " left";
}

std::string ConsoleRunView::workerLine(unsigned worker) const {
  const Worker& shown = workers_[worker];
  const int filled = std::clamp(shown.percent, 0, 100) * kBarWidth / 100;
  char gauge[64];
  std::snprintf(gauge, sizeof gauge, "%3u [%s%s] %3d%%  ", worker + 1,
                std::string(static_cast<std::size_t>(filled), '#').c_str(),
                std::string(static_cast<std::size_t>(kBarWidth - filled), '.').c_str(),
                std::clamp(shown.percent, 0, 100));
  std::string line = gauge;
  std::string file = shown.file;
  // One short of the width so the cursor never wraps; the end of a path tells the most.
  const long room = static_cast<long>(columns_) - 1 - static_cast<long>(line.size());
  if (columns_ > 0 && static_cast<long>(file.size()) > room) {
    std::size_t from = file.size() - static_cast<std::size_t>(std::max(room - 3, 0L));
    // Never from within a character: a terminal would show the bytes before its start as faults.
    while (from < file.size() && (static_cast<unsigned char>(file[from]) & 0xC0) == 0x80) ++from;
    file = room > 3 ? "..." + file.substr(from) : "";
  }
  return line + file;
}

void ConsoleRunView::clearDrawn() {
  // Up to the first drawn line, then clear from there to the end of the screen.
  if (drawnLines_ > 0) std::fprintf(progress_, "\x1b[%zuF\x1b[J", drawnLines_);
  drawnLines_ = 0;
}

void ConsoleRunView::redraw() {
  if (style_ != ProgressStyle::Redrawn) return;
  clearDrawn();
  std::fprintf(progress_, "%s\n", runLine().c_str());
  for (unsigned worker = 0; worker < workers_.size(); ++worker) {
    std::fprintf(progress_, "%s\n", workerLine(worker).c_str());
  }
  drawnLines_ = workers_.size() + 1;
  std::fflush(progress_);
}

void ConsoleRunView::notice(const wxString& text) {
  clearDrawn();
  std::fprintf(progress_, "sonbalancer-cli: %s\n",
               shownPath(given_, batch::toNativePath(text)).c_str());
  std::fflush(progress_);
  redraw();
}

void ConsoleRunView::entryEnded(const wxString& entry, batch::EntryOutcome outcome,
                                const wxString& reason) {
  if (!writeEndedLine(progress_, style_, given_, entry, outcome)) {
    JobStatus::entryEnded(entry, outcome, reason);
  }
}

void ConsoleRunView::workerFile(unsigned worker, const wxString& text) {
  if (worker >= workers_.size()) return;
  workers_[worker].file = shownPath(given_, batch::toNativePath(text));
  workers_[worker].percent = 0;
  redraw();
}

void ConsoleRunView::workerGauge(unsigned worker, int percent) {
  if (worker >= workers_.size() || workers_[worker].percent == percent) return;
  workers_[worker].percent = percent;
  redraw();
}

void ConsoleRunView::workerDone(unsigned worker) {
  if (worker >= workers_.size()) return;
  workers_[worker] = Worker{};
  redraw();
}

void ConsoleRunView::entriesDone(std::uint32_t done, std::uint32_t total) {
  done_ = done;
  total_ = total;
  redraw();
}

}  // namespace cli
