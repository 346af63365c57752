#include "platform/signals.h"

#include <signal.h>

#include <atomic>
#include <csignal>

namespace platform {

namespace {

// A lock-free atomic rather than a plain volatile sig_atomic_t: the flag is set by a signal
// handler or by the window's thread and read by worker threads, and only an atomic makes that
// both async-signal-safe and free of a data race.
static_assert(std::atomic<std::sig_atomic_t>::is_always_lock_free);

// Signal numbers are positive, so a negative value tells the program's own request apart.
constexpr std::sig_atomic_t kNoStop = 0;
constexpr std::sig_atomic_t kStopByProgram = -1;

std::atomic<std::sig_atomic_t> gStopReason{kNoStop};
std::atomic<const char*> gStopText{nullptr};

bool recordStop(std::sig_atomic_t reason) {
  std::sig_atomic_t expected = kNoStop;
  return gStopReason.compare_exchange_strong(expected, reason);
}

void handleStopSignal(int signalNumber) { recordStop(signalNumber); }

void recordStopOn(int signalNumber) {
  struct sigaction action {};
  action.sa_handler = handleStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace

void installStopSignals() {
  recordStopOn(SIGINT);
  recordStopOn(SIGTERM);
}

void installStopOnLostReader() { recordStopOn(SIGPIPE); }

bool stopRequested() { return gStopReason.load() != kNoStop; }

int stopSignal() {
  const std::sig_atomic_t reason = gStopReason.load();
  return reason > 0 ? reason : 0;
}

// The text is stored before the request, so whoever sees the request also sees its text.
void requestStop(const char* reason) {
  if (gStopReason.load() != kNoStop) return;
  gStopText.store(reason);
  if (!recordStop(kStopByProgram)) gStopText.store(nullptr);
}

const char* stopReason() { return gStopReason.load() == kStopByProgram ? gStopText.load() : nullptr; }

void clearStopRequest() {
  gStopReason.store(kNoStop);
  gStopText.store(nullptr);
}

}  // namespace platform
