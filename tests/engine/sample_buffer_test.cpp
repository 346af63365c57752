#include "engine/sample_buffer.h"

#include <gtest/gtest.h>

namespace {

TEST(SampleBuffer, KeptWhenSmallerTrackFollowsAndGrownWhenLarger) {
  engine::SampleBuffer buffer;
  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, 30'000'000));
  EXPECT_EQ(buffer.capacity, 30'000'000u);
  std::uint8_t* first = buffer.bytes;

  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, 20'000'000));
  EXPECT_EQ(buffer.bytes, first);
  EXPECT_EQ(buffer.capacity, 20'000'000u);

  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, 25'000'000));
  EXPECT_EQ(buffer.capacity, 25'000'000u);
  buffer.bytes[25'000'000 - 1] = 1;

  engine::releaseSampleBuffer(buffer);
  EXPECT_EQ(buffer.bytes, nullptr);
  EXPECT_EQ(buffer.capacity, 0u);
}

}  // namespace

namespace {

TEST(SampleBuffer, RequiredSpaceIsTheLargerLengthPlusTwoPlanes) {
  EXPECT_EQ(engine::requiredSampleSpace(3000, 2756), 3000u + 2 * 2756u);
  EXPECT_EQ(engine::requiredSampleSpace(400, 800), 3 * 800u);
  EXPECT_EQ(engine::requiredSampleSpace(5000, 0), 5000u);
  // Beyond 32 bits without wrapping.
  EXPECT_EQ(engine::requiredSampleSpace(3'000'000'000u, 6'000'000'000u), 18'000'000'000u);
}

TEST(SampleBuffer, FailedRequestLeavesNoBlockAndZeroCapacity) {
  engine::SampleBuffer buffer;
  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, 1000));
  EXPECT_FALSE(engine::obtainSampleBuffer(buffer, 1ull << 63));
  EXPECT_EQ(buffer.bytes, nullptr);
  EXPECT_EQ(buffer.capacity, 0u);

  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, 500));
  EXPECT_EQ(buffer.capacity, 500u);
  engine::releaseSampleBuffer(buffer);
}

TEST(SampleBuffer, EmptyTrackStillGetsABlock) {
  engine::SampleBuffer buffer;
  ASSERT_TRUE(engine::obtainSampleBuffer(buffer, 0));
  EXPECT_NE(buffer.bytes, nullptr);
  EXPECT_EQ(buffer.capacity, 0u);
  engine::releaseSampleBuffer(buffer);
}

}  // namespace
