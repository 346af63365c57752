#include "batch/system_services.h"

namespace batch {

namespace {

class PlatformServices final : public SystemServices {
 public:
  platform::ChildOutcome runChild(const std::vector<std::string>& arguments) override {
    return platform::runChildAndWait(arguments);
  }
  platform::DeleteOutcome deleteFile(const std::string& path) override {
    return platform::deleteFile(path);
  }
};

}  // namespace

SystemServices& realSystemServices() {
  static PlatformServices services;
  return services;
}

}  // namespace batch
