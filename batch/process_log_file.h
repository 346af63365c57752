// The process log file "sonbalancer-log.txt": opened per job in the working folder, written
// only while open, closed at the end of the job.
#pragma once

#include <cstdio>

#include "engine/process_log.h"

namespace batch {

inline constexpr const char* kProcessLogName = "sonbalancer-log.txt";

class ProcessLogFile final : public engine::ProcessLog {
 public:
  ProcessLogFile() = default;
  ProcessLogFile(const ProcessLogFile&) = delete;
  ProcessLogFile& operator=(const ProcessLogFile&) = delete;
  ~ProcessLogFile() override { close(); }

  // Opens (truncating) the named file; false, with the log off, when it cannot be created.
  bool open(const char* path);
  void close();

  bool isOn() const override { return file_ != nullptr; }
  void write(std::string_view text) override;

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace batch
