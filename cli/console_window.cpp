#include "cli/console_window.h"

#include <algorithm>
#include <utility>

#include "batch/native_path.h"

namespace cli {

namespace {

constexpr int kBarWidth = 20;

std::string bar(int percent) {
  const int filled = std::clamp(percent, 0, 100) * kBarWidth / 100;
  std::string text(kBarWidth + 2, '.');
  text.front() = '[';
  text.back() = ']';
  text.replace(1, static_cast<std::size_t>(filled), static_cast<std::size_t>(filled), '#');
  return text;
}

std::string percentText(int percent) {
  char text[8];
  std::snprintf(text, sizeof text, "%3d%%", std::clamp(percent, 0, 100));
  return text;
}

// Characters on screen of UTF-8 text: every byte but the continuation bytes.
std::size_t screenLength(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

}  // namespace

ConsoleWindow::ConsoleWindow(const CheckBoxes& boxes, std::FILE* progress, ProgressStyle style,
                             int columns, std::vector<GivenPath> given)
    : boxes_(boxes),
      progress_(progress),
      style_(style),
      columns_(columns),
      given_(std::move(given)) {}

void ConsoleWindow::fileGaugeStep(int percent, int) { setFileGauge(percent); }

void ConsoleWindow::setFileGauge(int percent) {
  fileGauge_ = percent;
  show();
}

void ConsoleWindow::setGlobalGauge(int percent) {
  globalGauge_ = percent;
  show();
}

void ConsoleWindow::setCurrentFileText(const wxString& text) {
  currentFile_ = batch::fromNativePath(shownPath(given_, batch::toNativePath(text)));
  show();
}

std::string ConsoleWindow::progressLine() const {
  const std::string gauges = "file " + bar(fileGauge_) + " " + percentText(fileGauge_) + "  job " +
                             bar(globalGauge_) + " " + percentText(globalGauge_);
  if (currentFile_.empty()) return gauges;
  wxString name = currentFile_;
  if (style_ == ProgressStyle::Redrawn && columns_ > 0) {
    // Keep the line one short of the width, so the cursor never wraps to the next line; the
    // end of a path tells more than its start.
    const long room = static_cast<long>(columns_) - 1 - static_cast<long>(gauges.size()) - 2;
    if (room < 4) return gauges;
    if (static_cast<long>(name.length()) > room) name = "..." + name.Right(room - 3);
  }
  return gauges + "  " + batch::toNativePath(name);
}

void ConsoleWindow::show() {
  if (style_ != ProgressStyle::Redrawn) return;
  const std::string line = progressLine();
  if (line == shownLine_) return;
  // Blanks over what the longer previous line left on screen.
  const std::size_t shown = screenLength(shownLine_);
  const std::size_t now = screenLength(line);
  const std::size_t blanks = shown > now ? shown - now : 0;
  std::fprintf(progress_, "\r%s%s", line.c_str(), std::string(blanks, ' ').c_str());
  std::fflush(progress_);
  shownLine_ = line;
}

void ConsoleWindow::notice(const wxString& text) {
  const std::string shown = shownLine_;
  endProgress();
  std::fprintf(progress_, "sonbalancer-cli: %s\n",
               shownPath(given_, batch::toNativePath(text)).c_str());
  std::fflush(progress_);
  // The progress line starts again below the notice.
  if (!shown.empty()) show();
}

void ConsoleWindow::entryEnded(const wxString& entry, batch::EntryOutcome outcome,
                               const wxString& reason) {
  const std::string line = style_ == ProgressStyle::FileLines
                               ? endedLine(shownPath(given_, batch::toNativePath(entry)), outcome)
                               : std::string();
  if (line.empty()) {
    JobWindow::entryEnded(entry, outcome, reason);
    return;
  }
  std::fprintf(progress_, "%s\n", line.c_str());
  std::fflush(progress_);
}

void ConsoleWindow::endProgress() {
  if (style_ == ProgressStyle::Redrawn && !shownLine_.empty()) std::fputc('\n', progress_);
  shownLine_.clear();
  std::fflush(progress_);
}

}  // namespace cli
