#include "media/converter_progress.h"

#include <charconv>
#include <cstdint>
#include <string_view>

namespace media {

namespace {

// The report's lines are short; a longer one is no line of the report and is passed over.
constexpr std::size_t kLongestLine = 256;

constexpr std::string_view kPositionKey = "out_time_us=";

}  // namespace

std::vector<std::string> withProgressReport(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return arguments;
  std::vector<std::string> reporting = {arguments.front(), "-progress", "pipe:1",
                                        "-stats_period",   "0.25",      "-nostats"};
  reporting.insert(reporting.end(), arguments.begin() + 1, arguments.end());
  return reporting;
}

void ProgressReader::take(const char* bytes, std::size_t count) {
  for (std::size_t index = 0; index < count; ++index) {
    const char c = bytes[index];
    if (c == '\n') {
      if (!lineTooLong_) takeLine();
      line_.clear();
      lineTooLong_ = false;
    } else if (line_.size() < kLongestLine) {
      line_.push_back(c);
    } else {
      lineTooLong_ = true;
    }
  }
}

void ProgressReader::takeLine() {
  std::string_view line = line_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!line.starts_with(kPositionKey)) return;
  line.remove_prefix(kPositionKey.size());
  std::int64_t microseconds = 0;
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), microseconds);
  if (error != std::errc() || end != line.data() + line.size() || microseconds < 0) return;
  if (onSeconds_) onSeconds_(static_cast<double>(microseconds) / 1e6);
}

}  // namespace media
