#include "platform/lock_wait.h"

#include <algorithm>
#include <chrono>

#include "platform/signals.h"
#include "platform/sleep.h"

namespace platform {

namespace {

// The naps between two tries, short so that a stop is heard at once.
constexpr int kStopCheckMs = 20;

}  // namespace

FolderLock::Outcome acquireWaiting(FolderLock& lock, const std::string& folderPath, long waitMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(0L, waitMs));
  for (;;) {
    const FolderLock::Outcome outcome = lock.acquire(folderPath);
    if (outcome != FolderLock::Outcome::Busy || stopRequested() || Clock::now() >= deadline) {
      return outcome;
    }
    const Clock::time_point nextTry =
        std::min(deadline, Clock::now() + std::chrono::milliseconds(kLockPollMs));
    while (Clock::now() < nextTry && !stopRequested()) sleepMs(kStopCheckMs);
  }
}

}  // namespace platform
