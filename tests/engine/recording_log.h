// A process log for engine tests: always on, it keeps every text written to it.
#pragma once

#include <string>
#include <string_view>

#include "engine/process_log.h"

namespace engine_testing {

class RecordingLog final : public engine::ProcessLog {
 public:
  bool isOn() const override { return true; }
  void write(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace engine_testing
