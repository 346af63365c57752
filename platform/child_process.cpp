#include "platform/child_process.h"

namespace platform {

ChildOutcome runChildAndWait(const std::vector<std::string>&) { return {}; }
std::string findProgram(const std::string&) { return {}; }

}  // namespace platform
