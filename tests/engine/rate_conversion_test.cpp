#include "engine/rate_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/engine/wav_bytes.h"

namespace {

using wav_testing::numberedFrames;
using wav_testing::sourceFrameAt;
using wav_testing::toBytes;

// The factors of common sources, as the header checks form them.
const float kStereo48000 = static_cast<float>(176400.0 / (4.0 * 48000));
const float kStereo40000 = static_cast<float>(176400.0 / (4.0 * 40000));
const float kStereo42000 = static_cast<float>(176400.0 / (4.0 * 42000));
const float kStereo46421 = static_cast<float>(176400.0 / (4.0 * 46421));
const float kStereo96000 = static_cast<float>(176400.0 / (4.0 * 96000));
const float kInfinite = std::numeric_limits<float>::infinity();

// Source frame numbers of the first `count` frames of a converted buffer.
std::vector<long> framesOf(const std::vector<std::uint8_t>& samples, std::size_t count) {
  std::vector<long> frames;
  for (std::size_t index = 0; index < count; ++index) {
    frames.push_back(sourceFrameAt(samples.data(), index));
  }
  return frames;
}

TEST(ConvertedLength, IsExactWhereADoubleProductRoundsUp) {
  // 4292870164 × 0.918749988… = 3944074411.99999… exactly; a double rounds the product up to
  // 3944074412, one frame too many once the low bits are cleared.
  const std::uint32_t dataLength = 4292870164u;
  const double doubleProduct = static_cast<double>(dataLength) * static_cast<double>(kStereo48000);
  ASSERT_EQ(static_cast<std::uint64_t>(doubleProduct) & ~3ull, 3944074412u);

  EXPECT_EQ(engine::convertedLength(dataLength, kStereo48000), 3944074408u);
  EXPECT_EQ(engine::ExactFactor(kStereo48000).scale(dataLength), 3944074411u);
}

TEST(ConvertedLength, ClearsTheLowBitsAndMayExceed32Bits) {
  EXPECT_EQ(engine::convertedLength(400, 2.0f), 800u);
  EXPECT_EQ(engine::convertedLength(3000, kStereo48000), 2756u);
  EXPECT_EQ(engine::convertedLength(1601, kStereo40000), 1764u);
  EXPECT_EQ(engine::convertedLength(3'000'000'000u, 2.0f), 6'000'000'000u);
  EXPECT_EQ(engine::unconvertedLength(1002), 1000u);
}

TEST(ConvertedLength, InfiniteFactorFromARateFieldOfZeroGivesNothing) {
  EXPECT_EQ(engine::convertedLength(5000, kInfinite), 0u);
  EXPECT_EQ(engine::ExactFactor(kInfinite).scaleToFrame(4000), 0u);
}

TEST(RateConversion, OnlyFactorsStrictlyBetween095And105AreLeftAlone) {
  EXPECT_TRUE(engine::needsRateConversion(0.95f));          // 0.949999988…
  EXPECT_FALSE(engine::needsRateConversion(kStereo42000));  // 1.0499999523…
  EXPECT_FALSE(engine::needsRateConversion(kStereo46421));
  EXPECT_FALSE(engine::needsRateConversion(1.0f));
  EXPECT_TRUE(engine::needsRateConversion(kStereo48000));
  EXPECT_TRUE(engine::needsRateConversion(kStereo40000));
  EXPECT_TRUE(engine::needsRateConversion(2.0f));
  EXPECT_TRUE(engine::needsRateConversion(kInfinite));
}

TEST(ConversionSchedule, CopyStepIsFourTimesTheWholeFactorAndSyncPeriodFollowsIt) {
  struct Case {
    float factor;
    std::uint32_t copyStep;
    std::uint32_t syncPeriod;
  };
  const Case cases[] = {{kStereo48000, 4, 4}, {0.75f, 4, 4},    {kStereo40000, 4, 32},
                        {2.0f, 8, 32},        {2.99f, 8, 32},   {3.0f, 12, 64},
                        {4.0f, 16, 64},       {kInfinite, 4, 4}};
  for (const Case& c : cases) {
    const engine::ConversionSchedule schedule = engine::conversionSchedule(c.factor);
    EXPECT_EQ(schedule.copyStepBytes, c.copyStep) << c.factor;
    EXPECT_EQ(schedule.syncPeriodFrames, c.syncPeriod) << c.factor;
  }
}

TEST(ConversionSchedule, SourcesAbove58800HzSyncAtEveryFrame) {
  EXPECT_EQ(engine::conversionSchedule(kStereo96000).syncPeriodFrames, 1u);
  EXPECT_EQ(engine::conversionSchedule(0.5f).syncPeriodFrames, 1u);
  EXPECT_EQ(engine::conversionSchedule(0.5f).copyStepBytes, 4u);
}

TEST(ShrinkFrames, Stereo48000DropsEveryTwelfthFrameAndZeroesTheLast) {
  std::vector<std::uint8_t> samples = toBytes(numberedFrames(750));
  const std::uint32_t targetLength = engine::convertedLength(3000, kStereo48000);
  ASSERT_EQ(targetLength, 2756u);

  engine::shrinkFrames(samples.data(), 3000, targetLength, kStereo48000);

  const std::vector<long> frames = framesOf(samples, 689);
  EXPECT_EQ(frames[688], -1);
  // Syncs fall on every fourth source frame; those whose write position is already ahead of
  // f × r are dropped: frames 3, 7 and 15 at the start.
  const std::vector<long> start(frames.begin(), frames.begin() + 14);
  EXPECT_EQ(start, (std::vector<long>{0, 1, 2, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 16}));
  for (std::size_t index = 1; index < 688; ++index) {
    ASSERT_GT(frames[index], frames[index - 1]) << index;
    const long skipped = frames[index] - frames[index - 1] - 1;
    ASSERT_LE(skipped, 1) << index;
    if (skipped == 1) {
      EXPECT_EQ((frames[index] - 1) % 4, 3) << index;
    }
  }
  EXPECT_EQ(frames[687], 749);
}

TEST(ShrinkFrames, HalfRateSourceKeepsEveryOtherFrameToTheEnd) {
  // 88200 Hz stereo: without a sync at every frame only one frame in four could go.
  std::vector<std::uint8_t> samples = toBytes(numberedFrames(100));
  engine::shrinkFrames(samples.data(), 400, 200, 0.5f);

  const std::vector<long> frames = framesOf(samples, 50);
  for (std::size_t index = 0; index < 49; ++index) {
    EXPECT_EQ(frames[index], static_cast<long>(2 * index + 2)) << index;
  }
  EXPECT_EQ(frames[49], -1);
}

TEST(ShrinkFrames, Stereo96000KeepsTheTempo) {
  std::vector<std::uint8_t> samples = toBytes(numberedFrames(1000));
  const std::uint32_t targetLength = engine::convertedLength(4000, kStereo96000);
  ASSERT_EQ(targetLength, 1836u);
  engine::shrinkFrames(samples.data(), 4000, targetLength, kStereo96000);

  const std::vector<long> frames = framesOf(samples, 459);
  for (std::size_t index = 1; index < 458; ++index) {
    const long step = frames[index] - frames[index - 1];
    ASSERT_TRUE(step == 2 || step == 3) << index << ": " << step;
  }
  // The last written frame comes from the end of the source, not from two thirds of it.
  EXPECT_GE(frames[457], 995);
  EXPECT_EQ(frames[458], -1);
}

TEST(ExpandFrames, DoubleRateWritesEveryFrameTwiceInOrder) {
  std::vector<std::uint8_t> samples = toBytes(numberedFrames(100));
  samples.resize(800, 0xEE);
  engine::expandFrames(samples.data(), 400, 800, 2.0f);

  const std::vector<long> frames = framesOf(samples, 200);
  for (std::size_t index = 0; index < 200; ++index) {
    ASSERT_EQ(frames[index], static_cast<long>(index / 2)) << index;
  }
}

TEST(ExpandFrames, Mono22050WritesEveryFrameFourTimes) {
  std::vector<std::uint8_t> samples = toBytes(numberedFrames(100));
  samples.resize(1600, 0xEE);
  engine::expandFrames(samples.data(), 400, 1600, 4.0f);

  const std::vector<long> frames = framesOf(samples, 400);
  for (std::size_t index = 0; index < 400; ++index) {
    ASSERT_EQ(frames[index], static_cast<long>(index / 4)) << index;
  }
}

TEST(ExpandFrames, Stereo40000RepeatsTheFrameAtEachSync) {
  std::vector<std::uint8_t> samples = toBytes(numberedFrames(400));
  const std::uint32_t targetLength = engine::convertedLength(1600, kStereo40000);
  // 1600 × 1.10249996… = 1763.99994: the float lies below 1.1025.
  ASSERT_EQ(targetLength, 1760u);
  samples.resize(targetLength, 0xEE);
  engine::expandFrames(samples.data(), 1600, targetLength, kStereo40000);

  const std::vector<long> frames = framesOf(samples, 440);
  // Walking back from the end, frames 399 to 369 are written once each; the 32nd, frame 368,
  // is a sync: f × 1472 = 1622.88, so it fills the target from byte 1620 up to the 1636 reached.
  for (long frame = 399; frame >= 369; --frame) {
    EXPECT_EQ(frames[static_cast<std::size_t>(frame - 399 + 439)], frame);
  }
  for (std::size_t index = 405; index <= 408; ++index) EXPECT_EQ(frames[index], 368) << index;
  EXPECT_EQ(frames[404], 367);

  // In order, no source frame skipped, and only sync frames (every 32nd from the end) repeated.
  std::vector<int> copies(400, 0);
  for (std::size_t index = 0; index < 440; ++index) {
    if (index > 0) {
      ASSERT_GE(frames[index], frames[index - 1]) << index;
    }
    if (frames[index] >= 0) ++copies[static_cast<std::size_t>(frames[index])];
  }
  for (long frame = 16; frame < 400; ++frame) {
    const bool sync = (399 - frame) % 32 == 31;
    if (sync) {
      EXPECT_GE(copies[static_cast<std::size_t>(frame)], 4) << frame;
      EXPECT_LE(copies[static_cast<std::size_t>(frame)], 5) << frame;
    } else {
      EXPECT_EQ(copies[static_cast<std::size_t>(frame)], 1) << frame;
    }
  }
}

TEST(ExpandFrames, FillSilencesWhatTheWalkMissedButNeverTheFirst60Bytes) {
  // f = 2.99 copies each ordinary frame twice, so after the last sync (frame 31) the walk
  // lags behind f × r: it ends at byte 120 with frame 0, and bytes 60 to 119 are zeroed.
  std::vector<std::uint8_t> samples = toBytes(numberedFrames(63));
  const std::uint32_t targetLength = engine::convertedLength(252, 2.99f);
  ASSERT_EQ(targetLength, 752u);
  samples.resize(targetLength, 0xEE);
  engine::expandFrames(samples.data(), 252, targetLength, 2.99f);

  const std::vector<long> frames = framesOf(samples, 188);
  for (std::size_t index = 0; index < 15; ++index) {
    EXPECT_EQ(frames[index], static_cast<long>(index)) << index;  // as loaded
  }
  for (std::size_t index = 15; index < 30; ++index) EXPECT_EQ(frames[index], -1) << index;
  EXPECT_EQ(frames[30], 0);
  EXPECT_EQ(frames[31], 0);
  for (std::size_t index = 92; index <= 125; ++index) EXPECT_EQ(frames[index], 31) << index;
  EXPECT_EQ(frames[187], 62);
}

}  // namespace
