#include "batch/memory_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

namespace {

using batch::Reservation;
using batch::SampleSpaceShare;
using namespace std::chrono_literals;

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// A worker's share that takes up its samples in a block of the engine's own, as the engine
// does once the share has granted them.
struct Worker {
  explicit Worker(batch::MemoryBudget& budget) : share(budget, buffer) {}
  Reservation takeUp(std::uint64_t bytes, std::function<bool()> stop = {}) {
    const Reservation reservation = share.takeUp(bytes, stop);
    if (reservation == Reservation::Granted) {
      EXPECT_TRUE(engine::obtainSampleBuffer(buffer, bytes));
    }
    return reservation;
  }
  engine::SampleBuffer buffer;
  SampleSpaceShare share;
};

TEST(MemoryBudget, TrackWaitsForRoomGivenBackAtTheOtherEntrysEndAndNeverFitsAtOnce) {
  batch::MemoryBudget budget(100 * kMiB);
  Worker first(budget);
  Worker second(budget);
  ASSERT_EQ(first.takeUp(60 * kMiB), Reservation::Granted);
  EXPECT_EQ(second.takeUp(101 * kMiB), Reservation::NeverFits);

  auto waiting = std::async(std::launch::async, [&] { return second.takeUp(60 * kMiB); });
  EXPECT_EQ(waiting.wait_for(300ms), std::future_status::timeout);
  // The end of the first worker's entry, seeing the waiter, gives the block and its room back.
  first.share.entryEnded();
  EXPECT_EQ(first.buffer.bytes, nullptr);
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), Reservation::Granted);

  // The first worker's next track now waits in turn, and a stop ends its wait.
  std::atomic<bool> stop = false;
  auto stopped = std::async(std::launch::async, [&] { return first.takeUp(41 * kMiB, [&] { return stop.load(); }); });
  EXPECT_EQ(stopped.wait_for(200ms), std::future_status::timeout);
  stop = true;
  ASSERT_EQ(stopped.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(stopped.get(), Reservation::Stopped);
  EXPECT_EQ(first.takeUp(40 * kMiB), Reservation::Granted) << "the stopped waiter left the line";
}

TEST(MemoryBudget, BlockOfATrackOverFourTimesTheNextIsGivenBack) {
  batch::MemoryBudget budget(100 * kMiB);
  Worker worker(budget);
  ASSERT_EQ(worker.takeUp(80 * kMiB), Reservation::Granted);
  std::uint8_t* const block = worker.buffer.bytes;
  ASSERT_EQ(worker.takeUp(20 * kMiB), Reservation::Granted);
  EXPECT_EQ(worker.buffer.bytes, block) << "a quarter of the block keeps it";
  ASSERT_EQ(worker.takeUp(19 * kMiB), Reservation::Granted);
  // Only 19 MiB stay reserved: another worker's 81 MiB fit without a wait.
  Worker other(budget);
  EXPECT_EQ(other.takeUp(81 * kMiB), Reservation::Granted);
  // A longer track than the block was last asked for gives it back and waits like any other.
  auto longer = std::async(std::launch::async, [&] { return worker.takeUp(20 * kMiB); });
  EXPECT_EQ(longer.wait_for(200ms), std::future_status::timeout);
  other.share.giveBack();
  ASSERT_EQ(longer.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(longer.get(), Reservation::Granted);
}

TEST(MemoryBudget, SizesReadAndToldExactly) {
  EXPECT_EQ(batch::parseMemorySize("2G"), std::uint64_t{2} << 30);
  EXPECT_EQ(batch::parseMemorySize("512m"), 512 * kMiB);
  EXPECT_EQ(batch::parseMemorySize("1.5GiB"), std::uint64_t{3} << 29);
  EXPECT_EQ(batch::parseMemorySize("4KB"), 4096u);
  EXPECT_EQ(batch::parseMemorySize("123456789"), 123456789u);
  for (const char* bad : {"", "0", "0.4", "-1", "G", ".5G", "1.2.3", "2X", "2GG", "2 G", "16777216T"}) {
    EXPECT_EQ(batch::parseMemorySize(bad), std::nullopt) << bad;
  }

  EXPECT_EQ(batch::neverFitsReason(std::uint64_t{3} << 32, 3'100'000'000),
            "needs 12.9 GB of memory for its samples, 3.1 GB are allowed");
  EXPECT_EQ(batch::memoryText(999), "999 bytes");
  EXPECT_EQ(batch::memoryText(999'960'000), "1.0 GB");
  EXPECT_EQ(batch::memoryText(264'600), "264.6 kB");

  // A tenth as the margin, at least 256 MiB, at most half.
  EXPECT_EQ(batch::memoryBudgetWithin(std::uint64_t{16} << 30), (std::uint64_t{16} << 30) - 1'717'986'918);
  EXPECT_EQ(batch::memoryBudgetWithin(std::uint64_t{1} << 30), (std::uint64_t{1} << 30) - 256 * kMiB);
  EXPECT_EQ(batch::memoryBudgetWithin(300 * kMiB), 150 * kMiB);
  EXPECT_EQ(batch::memoryBudgetWithin(0), UINT64_MAX);
  EXPECT_EQ(batch::jobMemoryBudget(7 * kMiB), 7 * kMiB);
}

}  // namespace
