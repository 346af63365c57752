#include "cli/console_window.h"

#include <algorithm>
#include <utility>
#include <vector>

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

// Columns a character takes on a terminal: two for the wide scripts (CJK, Hangul, full-width
// forms, pictographs), else one. A name wider on screen than counted would wrap the line, and
// every redraw would then leave a line behind.
std::size_t columnsOf(char32_t c) {
  constexpr std::pair<char32_t, char32_t> kWide[] = {
      {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0xA4CF},  {0xAC00, 0xD7A3},
      {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},  {0xFFE0, 0xFFE6},
      {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};
  for (const auto& [first, last] : kWide) {
    if (c >= first && c <= last) return 2;
  }
  return 1;
}

// The columns of each character of UTF-8 text, with the byte where it starts.
std::vector<std::pair<std::size_t, std::size_t>> characterColumns(const std::string& text) {
  std::vector<std::pair<std::size_t, std::size_t>> characters;
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t next = 1; next < length && at + next < text.size(); ++next) {
      c = (c << 6) | (static_cast<unsigned char>(text[at + next]) & 0x3F);
    }
    characters.emplace_back(at, columnsOf(c));
    at += length;
  }
  return characters;
}

std::size_t screenLength(const std::string& text) {
  std::size_t columns = 0;
  for (const auto& character : characterColumns(text)) columns += character.second;
  return columns;
}

// The end of UTF-8 text that takes at most columns on screen.
std::string tailWithin(const std::string& text, std::size_t columns) {
  const auto characters = characterColumns(text);
  std::size_t from = text.size();
  std::size_t used = 0;
  for (auto character = characters.rbegin(); character != characters.rend(); ++character) {
    if (used + character->second > columns) break;
    used += character->second;
    from = character->first;
  }
  return text.substr(from);
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
  std::string name = batch::toNativePath(currentFile_);
  if (style_ == ProgressStyle::Redrawn && columns_ > 0) {
    // Keep the line one short of the width, so the cursor never wraps to the next line; the
    // end of a path tells more than its start.
    const long room = static_cast<long>(columns_) - 1 - static_cast<long>(gauges.size()) - 2;
    if (room < 4) return gauges;
    if (static_cast<long>(screenLength(name)) > room) {
      name = "..." + tailWithin(name, static_cast<std::size_t>(room - 3));
    }
  }
  return gauges + "  " + name;
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

bool writeEndedLine(std::FILE* progress, ProgressStyle style, const std::vector<GivenPath>& given,
                    const wxString& entry, batch::EntryOutcome outcome) {
  if (style != ProgressStyle::FileLines) return false;
  const std::string line = endedLine(shownPath(given, batch::toNativePath(entry)), outcome);
  if (line.empty()) return false;
  std::fprintf(progress, "%s\n", line.c_str());
  std::fflush(progress);
  return true;
}

void ConsoleWindow::entryEnded(const wxString& entry, batch::EntryOutcome outcome,
                               const wxString& reason) {
  if (!writeEndedLine(progress_, style_, given_, entry, outcome)) {
    JobWindow::entryEnded(entry, outcome, reason);
  }
}

void ConsoleWindow::endProgress() {
  if (style_ == ProgressStyle::Redrawn && !shownLine_.empty()) std::fputc('\n', progress_);
  shownLine_.clear();
  std::fflush(progress_);
}

}  // namespace cli
