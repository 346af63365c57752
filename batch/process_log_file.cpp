#include "batch/process_log_file.h"

namespace batch {

bool ProcessLogFile::open(const char* path) {
  close();
  file_ = std::fopen(path, "w");
  return file_ != nullptr;
}

void ProcessLogFile::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void ProcessLogFile::write(std::string_view text) {
  if (file_) std::fwrite(text.data(), 1, text.size(), file_);
}

}  // namespace batch
