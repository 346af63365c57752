// The process log file "sonbalancer-log.txt": opened per job in the working folder, written
// only while open, closed at the end of the job. Lines are held per entry and reach the file,
// flushed, when the entry is done, so a crash or a kill loses at most the entry in process.
#pragma once

#include <string>

#include "engine/process_log.h"
#include "platform/locks.h"

namespace batch {

inline constexpr const char* kProcessLogName = "sonbalancer-log.txt";

class ProcessLogFile final : public engine::ProcessLog {
 public:
  ProcessLogFile() = default;
  ProcessLogFile(const ProcessLogFile&) = delete;
  ProcessLogFile& operator=(const ProcessLogFile&) = delete;
  ~ProcessLogFile() override { close(); }

  // Opens the log named kProcessLogName in the working folder, replacing an earlier one. While
  // another job holds that name, or something that is not a plain file of ours stands there (a
  // link, a pipe, another user's file), takes the next free one ("sonbalancer-log-2.txt", ...),
  // so two jobs never write into one file and nothing is written through a link. False, with
  // the log off, when no log can be created (a folder in the way of the name, among others).
  bool open();
  // The name the open log took.
  const std::string& name() const { return name_; }
  // Whether the last open passed over kProcessLogName because of what stands there.
  bool plainNameRefused() const { return plainNameRefused_; }
  // Writes what is held to the file, then closes it.
  void close();
  // Writes the lines held since the last commit to the file and flushes it.
  void commit();
  // Ends the held text with a line feed if its last line is unfinished.
  void finishLine();
  // False once a commit could not write everything (a full disk): the file then holds the
  // lines up to the last whole commit before it, and nothing more is written to it. True for
  // a log that was never opened.
  bool whole() const { return whole_; }

  bool isOn() const override { return file_.stream() != nullptr; }
  void write(std::string_view text) override;

 private:
  platform::LockedLogFile file_;
  std::string held_;
  std::string name_;
  bool plainNameRefused_ = false;
  bool whole_ = true;
};

}  // namespace batch
