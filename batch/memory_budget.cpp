#include "batch/memory_budget.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/memory_limit.h"

namespace batch {

namespace {

// The margin left beside the samples: a tenth of what is allowed, at least 256 MiB (the
// program, a converter and an encoder per worker), but never more than half, so that a small
// container still takes its short tracks.
constexpr std::uint64_t kMarginFloorBytes = std::uint64_t{256} << 20;
constexpr std::uint64_t kMarginDivisor = 10;

// How often a waiter looks whether the job was stopped: a signal cannot wake it.
constexpr auto kStopLookInterval = std::chrono::milliseconds(100);

}  // namespace

std::uint64_t memoryBudgetWithin(std::uint64_t allowedBytes) {
  if (allowedBytes == 0) return std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t margin =
      std::min(std::max(allowedBytes / kMarginDivisor, kMarginFloorBytes), allowedBytes / 2);
  return allowedBytes - margin;
}

std::uint64_t jobMemoryBudget(std::optional<std::uint64_t> memoryBytes) {
  return memoryBytes ? *memoryBytes : memoryBudgetWithin(platform::memoryAllowedBytes());
}

std::optional<std::uint64_t> parseMemorySize(std::string_view text) {
  std::size_t end = 0;
  while (end < text.size() && ((text[end] >= '0' && text[end] <= '9') || text[end] == '.')) ++end;
  const std::string number(text.substr(0, end));
  if (number.empty() || number.front() == '.' || std::count(number.begin(), number.end(), '.') > 1) {
    return std::nullopt;
  }
  std::string_view unit = text.substr(end);
  int shift = 0;
  if (!unit.empty()) {
    static constexpr std::string_view kUnits = "KMGT";
    const std::size_t at = kUnits.find(static_cast<char>(unit.front() & ~0x20));
    if (at == std::string_view::npos) return std::nullopt;
    shift = 10 * static_cast<int>(at + 1);
    unit.remove_prefix(1);
    if (unit == "iB" || unit == "ib" || unit == "B" || unit == "b") unit = {};
    if (!unit.empty()) return std::nullopt;
  }
  // Read by hand, as the locale may want another decimal point; formed in long double, whose
  // 64-bit mantissa holds every whole byte count below 2^64 exactly.
  long double value = 0.0L;
  long double place = 1.0L;
  bool fraction = false;
  for (const char c : number) {
    if (c == '.') {
      fraction = true;
    } else if (fraction) {
      place /= 10.0L;
      value += (c - '0') * place;
    } else {
      value = value * 10.0L + (c - '0');
    }
  }
  const long double bytes = value * std::ldexp(1.0L, shift);
  if (!(bytes >= 1.0L) || bytes >= std::ldexp(1.0L, 64)) return std::nullopt;
  return static_cast<std::uint64_t>(bytes);
}

std::string memoryText(std::uint64_t bytes) {
  static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
  if (bytes < 1000) return std::to_string(bytes) + " bytes";
  double value = static_cast<double>(bytes) / 1000.0;
  std::size_t unit = 0;
  // Rounded as printed, so that 999.96 MB shows as 1.0 GB rather than 1000.0 MB.
  while (value >= 999.95 && unit + 1 < std::size(kUnits)) {
    value /= 1000.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string neverFitsReason(std::uint64_t needBytes, std::uint64_t budgetBytes) {
  return "needs " + memoryText(needBytes) + " of memory for its samples, " +
         memoryText(budgetBytes) + " are allowed";
}

Reservation MemoryBudget::reserve(std::uint64_t bytes, const std::function<bool()>& stopRequested) {
  if (bytes > totalBytes_) return Reservation::NeverFits;
  std::unique_lock<std::mutex> guard(lock_);
  const std::uint64_t ticket = nextTicket_++;
  waiters_.push_back(ticket);
  for (;;) {
    if (waiters_.front() == ticket && bytes <= totalBytes_ - reservedBytes_) break;
    if (stopRequested && stopRequested()) {
      waiters_.erase(std::find(waiters_.begin(), waiters_.end(), ticket));
      changed_.notify_all();
      return Reservation::Stopped;
    }
    changed_.wait_for(guard, kStopLookInterval);
  }
  waiters_.pop_front();
  reservedBytes_ += bytes;
  changed_.notify_all();
  return Reservation::Granted;
}

void MemoryBudget::release(std::uint64_t bytes) {
  if (bytes == 0) return;
  const std::lock_guard<std::mutex> guard(lock_);
  reservedBytes_ -= std::min(bytes, reservedBytes_);
  changed_.notify_all();
}

bool MemoryBudget::waited() const {
  const std::lock_guard<std::mutex> guard(lock_);
  return !waiters_.empty();
}

bool sampleBlockServes(const engine::SampleBuffer& buffer, std::uint64_t needBytes) {
  return buffer.bytes && needBytes <= buffer.capacity && needBytes >= buffer.blockBytes / 4;
}

Reservation SampleSpaceShare::takeUp(std::uint64_t needBytes,
                                     const std::function<bool()>& stopRequested) {
  if (sampleBlockServes(buffer_, needBytes) && needBytes <= reservedBytes_ && !budget_.waited()) {
    return Reservation::Granted;
  }
  giveBack();
  const Reservation reservation = budget_.reserve(needBytes, stopRequested);
  if (reservation == Reservation::Granted) reservedBytes_ = needBytes;
  return reservation;
}

void SampleSpaceShare::entryEnded() {
  if (reservedBytes_ != 0 && budget_.waited()) giveBack();
}

void SampleSpaceShare::giveBack() {
  engine::releaseSampleBuffer(buffer_);
  budget_.release(reservedBytes_);
  reservedBytes_ = 0;
}

}  // namespace batch
