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
