#include "media/system_services.h"

#include "platform/signals.h"

namespace media {

namespace {

class PlatformServices final : public SystemServices {
 public:
  platform::ChildOutcome runChild(const std::vector<std::string>& arguments) override {
    return platform::runChildAndWait(arguments);
  }
  platform::ChildOutcome runChildReadingOutput(const std::vector<std::string>& arguments,
                                               const platform::OutputHandler& onOutput) override {
    return platform::runChildReadingOutput(arguments, onOutput);
  }
  platform::ChildOutcome runChildReadingErrors(const std::vector<std::string>& arguments,
                                               const platform::OutputHandler& onErrors) override {
    return platform::runChildReadingErrors(arguments, onErrors);
  }
  platform::ChildOutcome runConverter(const std::vector<std::string>& arguments,
                                      const platform::OutputHandler& onErrors,
                                      const ProgressHandler& onProgress) override {
    ProgressReader report(onProgress);
    return platform::runChildReadingOutputAndErrors(
        withProgressReport(arguments),
        [&report](const char* bytes, std::size_t count) {
          report.take(bytes, count);
          return true;
        },
        onErrors);
  }
  platform::DeleteOutcome deleteFile(const std::string& path) override {
    return platform::deleteFile(path);
  }
  bool stopRequested() override { return platform::stopRequested(); }
};

}  // namespace

SystemServices& realSystemServices() {
  static PlatformServices services;
  return services;
}

}  // namespace media
