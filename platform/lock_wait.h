// Waiting for a folder that another job holds, for a job told to wait rather than skip it.
#pragma once

#include <string>

#include "platform/locks.h"

namespace platform {

// How often a waiting job tries the lock again.
inline constexpr int kLockPollMs = 200;

// Takes the lock of folderPath as FolderLock::acquire does; while another holder has it, tries
// again every kLockPollMs for up to waitMs (0: once, never waiting). Gives up at once, Busy,
// when a stop is requested (see signals.h).
FolderLock::Outcome acquireWaiting(FolderLock& lock, const std::string& folderPath, long waitMs);

}  // namespace platform
