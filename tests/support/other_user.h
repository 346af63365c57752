// A second user for the tests of what another user can do to a job: steps run as `nobody`
// through setpriv, which only root may do.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/child_process.h"

namespace testing_support {

inline bool runningAsRoot() { return ::geteuid() == 0; }

// The user id of `nobody`, or -1 when there is none.
inline uid_t nobodyUid() {
  const passwd* entry = ::getpwnam("nobody");
  return entry ? entry->pw_uid : static_cast<uid_t>(-1);
}

// Runs command as `nobody` in group `nogroup`, without the caller's groups; true when it ran
// and exited 0.
inline bool asNobody(const std::vector<std::string>& command) {
  std::vector<std::string> arguments = {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                        "--clear-groups"};
  arguments.insert(arguments.end(), command.begin(), command.end());
  const platform::ChildOutcome outcome = platform::runChildAndWait(arguments);
  return outcome.started && outcome.exitStatusRead && outcome.exitStatus == 0;
}

}  // namespace testing_support
