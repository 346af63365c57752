// The process log as the engine sees it: a sink for literal texts and printf-style lines
// that writes only while the log is on. The batch layer owns the file behind it.
#pragma once

#include <string_view>

namespace engine {

class ProcessLog {
 public:
  virtual ~ProcessLog() = default;

  // True while the log is open for the running job.
  virtual bool isOn() const = 0;
  // Writes the text as it stands; does nothing while the log is off.
  virtual void write(std::string_view text) = 0;

  // printf-style write ("%s", "%ld", "%d", "%f"); formats nothing while the log is off.
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// A log that is always off, for callers that keep no log.
class SilentLog final : public ProcessLog {
 public:
  bool isOn() const override { return false; }
  void write(std::string_view) override {}
};

}  // namespace engine
