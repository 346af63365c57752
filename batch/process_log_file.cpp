#include "batch/process_log_file.h"

#include <cstdio>

namespace batch {

namespace {

// Enough for every job one person could start from one folder at once.
constexpr int kMostLogNames = 99;

std::string logName(int number) {
  if (number == 1) return kProcessLogName;
  const std::string plain = kProcessLogName;
  const std::size_t dot = plain.rfind('.');
  return plain.substr(0, dot) + "-" + std::to_string(number) + plain.substr(dot);
}

}  // namespace

bool ProcessLogFile::open() {
  close();
  plainNameRefused_ = false;
  whole_ = true;
  for (int number = 1; number <= kMostLogNames; ++number) {
    const std::string name = logName(number);
    if (file_.open(name)) {
      name_ = name;
      return true;
    }
    if (number == 1) plainNameRefused_ = file_.refused();
    if (!file_.busy() && !file_.refused()) return false;
  }
  return false;
}

void ProcessLogFile::close() {
  commit();
  file_.close();
}

void ProcessLogFile::commit() {
  if (!file_.stream() || !whole_) {
    held_.clear();
    return;
  }
  // Lines after a gap would read as if nothing were missing, so a failed write ends the log.
  const bool written = held_.empty() || std::fwrite(held_.data(), 1, held_.size(),
                                                    file_.stream()) == held_.size();
  if (std::fflush(file_.stream()) != 0 || !written) whole_ = false;
  held_.clear();
}

void ProcessLogFile::finishLine() {
  if (!held_.empty() && held_.back() != '\n') held_ += '\n';
}

void ProcessLogFile::write(std::string_view text) {
  if (file_.stream()) held_.append(text);
}

}  // namespace batch
