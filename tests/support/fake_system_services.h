// System services for the tests of the job and its media steps: every child's argument list and
// every deletion recorded in order, each outcome scriptable; by default the real platform does
// the work.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "media/system_services.h"

namespace testing_support {

class FakeSystemServices : public media::SystemServices {
 public:
  std::function<platform::ChildOutcome(const std::vector<std::string>&)> onRunChild =
      platform::runChildAndWait;
  std::function<platform::DeleteOutcome(const std::string&)> onDeleteFile = platform::deleteFile;
  std::function<bool()> onStopRequested = [] { return false; };

  // Argument lists of the children, in order.
  std::vector<std::vector<std::string>> children;
  // Every call in order: "run <program>" or "delete <path>".
  std::vector<std::string> calls;

  platform::ChildOutcome runChild(const std::vector<std::string>& arguments) override {
    children.push_back(arguments);
    calls.push_back("run " + (arguments.empty() ? std::string() : arguments[0]));
    return onRunChild(arguments);
  }
  platform::ChildOutcome runChildReadingOutput(const std::vector<std::string>& arguments,
                                               const platform::OutputHandler& onOutput) override {
    calls.push_back("read " + (arguments.empty() ? std::string() : arguments[0]));
    return platform::runChildReadingOutput(arguments, onOutput);
  }
  platform::DeleteOutcome deleteFile(const std::string& path) override {
    calls.push_back("delete " + path);
    return onDeleteFile(path);
  }
  bool stopRequested() override { return onStopRequested(); }
};

}  // namespace testing_support
