// The memory a job's tracks share: one budget for the samples of every worker's track, each
// track's need reserved before its samples are taken up, a track that does not fit now waiting
// for room, and one that can never fit refused with what it needs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "engine/sample_buffer.h"

namespace batch {

// What the workers may take together when the system allows allowedBytes: that less a margin
// for everything beside the samples (the program, the converter and encoder children, the
// report's figures). 0 allowed (nothing known) is no limit.
std::uint64_t memoryBudgetWithin(std::uint64_t allowedBytes);

// The job's budget: --memory when given (memoryBytes), else what the system allows less the
// margin.
std::uint64_t jobMemoryBudget(std::optional<std::uint64_t> memoryBytes);

// A size as the command takes it: plain bytes, or a number (a fraction allowed) with K, M, G
// or T for KiB, MiB, GiB or TiB, in either case, a B or iB after it allowed ("2G", "512M",
// "1.5GiB"). None for anything else, 0 and what overflows included.
std::optional<std::uint64_t> parseMemorySize(std::string_view text);

// A size for people, in decimal units with one decimal: "12.9 GB", "512.0 MB", "900 bytes".
std::string memoryText(std::uint64_t bytes);

// Why a track that needs needBytes can never be taken up within budgetBytes; the failure
// reason and the log line say it.
std::string neverFitsReason(std::uint64_t needBytes, std::uint64_t budgetBytes);

enum class Reservation { Granted, NeverFits, Stopped };

// The bytes reserved by the workers of a run, within its total. Waiters are served in turn.
class MemoryBudget {
 public:
  explicit MemoryBudget(std::uint64_t totalBytes) : totalBytes_(totalBytes) {}

  std::uint64_t totalBytes() const { return totalBytes_; }

  // Reserves bytes, waiting while they do not fit beside what the others hold and while an
  // earlier waiter is not served. NeverFits at once when bytes exceed the total: a waiter
  // holds nothing, so once every other holder has let go the whole total is free. Stopped when
  // stopRequested turns true while waiting (it is asked a few times a second).
  Reservation reserve(std::uint64_t bytes, const std::function<bool()>& stopRequested);

  // Gives back bytes of an earlier reservation.
  void release(std::uint64_t bytes);

  // Someone waits for room.
  bool waited() const;

 private:
  const std::uint64_t totalBytes_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::uint64_t reservedBytes_ = 0;
  std::deque<std::uint64_t> waiters_;
  std::uint64_t nextTicket_ = 0;
};

// Whether buffer's block may hold a track needing needBytes as it is: the engine reuses a
// block within the capacity last asked of it, and a block over four times the need is given
// back rather than held through a run of shorter tracks.
bool sampleBlockServes(const engine::SampleBuffer& buffer, std::uint64_t needBytes);

// One worker's share of a budget: its sample buffer and what it has reserved for the block.
class SampleSpaceShare {
 public:
  SampleSpaceShare(MemoryBudget& budget, engine::SampleBuffer& buffer)
      : budget_(budget), buffer_(buffer) {}
  ~SampleSpaceShare() { giveBack(); }
  SampleSpaceShare(const SampleSpaceShare&) = delete;
  SampleSpaceShare& operator=(const SampleSpaceShare&) = delete;

  // Before a track's samples are taken up: keeps the block held when it serves the need and
  // nobody waits, else gives it back and reserves needBytes, waiting for room.
  Reservation takeUp(std::uint64_t needBytes, const std::function<bool()>& stopRequested);

  // After an entry: the block is given back when another worker waits for room.
  void entryEnded();

  // Gives back the block and its reservation.
  void giveBack();

 private:
  MemoryBudget& budget_;
  engine::SampleBuffer& buffer_;
  std::uint64_t reservedBytes_ = 0;
};

}  // namespace batch
