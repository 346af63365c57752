#include "batch/sample_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

TEST(SampleBlocks, LargeBlocksAreAlignedZeroWritableAndRegrown) {
  engine::SampleBuffer buffer;
  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, 1000));
  buffer.bytes[999] = 7;
  // Switching sources gives the heap block back first.
  batch::drawLargeSampleBlocks(buffer);
  EXPECT_EQ(buffer.bytes, nullptr);

  const std::uint64_t first = (std::uint64_t{5} << 20) + 3;
  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, first));
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.bytes) % (std::uintptr_t{2} << 20), 0u);
  EXPECT_TRUE(
      std::all_of(buffer.bytes, buffer.bytes + first, [](std::uint8_t b) { return b == 0; }));
  std::fill(buffer.bytes, buffer.bytes + first, 0x5A);

  // A smaller track reuses the block; a larger one gets a fresh, zeroed one.
  std::uint8_t* const block = buffer.bytes;
  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, 4096));
  EXPECT_EQ(buffer.bytes, block);
  const std::uint64_t second = std::uint64_t{9} << 20;
  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, second));
  EXPECT_EQ(buffer.bytes[second - 1], 0);
  buffer.bytes[second - 1] = 1;

  EXPECT_FALSE(engine::obtainSampleBuffer(buffer, std::uint64_t{1} << 62));
  EXPECT_EQ(buffer.bytes, nullptr);
  EXPECT_EQ(buffer.capacity, 0u);
  engine::releaseSampleBuffer(buffer);
}

}  // namespace
