// The converter's report of its progress: the options that have it write one on its standard
// output, and the reading of that report, as the seconds of output written so far.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace media {

// The converter's arguments (program name first) with the options that make it report its
// progress on its standard output every quarter of a second and at its end; its statistics
// line on the standard error goes. What it writes is the same with them as without.
std::vector<std::string> withProgressReport(const std::vector<std::string>& arguments);

// Takes the seconds of output the converter has written so far.
using ProgressHandler = std::function<void(double seconds)>;

// Reads the report (lines of "key=value") as it comes in chunks and tells onSeconds each
// position given by an "out_time_us=" line; a position not yet known ("N/A") or negative is
// passed over. Memory stays bounded whatever comes.
class ProgressReader {
 public:
  explicit ProgressReader(ProgressHandler onSeconds) : onSeconds_(std::move(onSeconds)) {}
  void take(const char* bytes, std::size_t count);

 private:
  void takeLine();

  ProgressHandler onSeconds_;
  std::string line_;
  bool lineTooLong_ = false;
};

}  // namespace media
