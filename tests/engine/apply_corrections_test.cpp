#include "engine/apply_corrections.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "tests/engine/pass_fakes.h"

namespace {

using engine_testing::planeValue;
using engine_testing::RecordingLog;

// A buffer whose planes hold the given (low, middle, high) band values in both channels'
// places; left and right are set separately.
struct BandFrame {
  int leftLow, leftMiddle, leftHigh, rightLow, rightMiddle, rightHigh;
};

std::vector<std::uint8_t> planesOf(const std::vector<BandFrame>& frames) {
  const std::size_t targetLength = frames.size() * 4;
  std::vector<std::uint8_t> buffer(targetLength * 3);
  auto put = [&](int plane, std::size_t offset, int value) {
    engine::storeSample(buffer.data() + plane * targetLength + offset,
                        static_cast<std::int16_t>(value));
  };
  for (std::size_t i = 0; i < frames.size(); ++i) {
    put(1, 4 * i, frames[i].leftLow);
    put(0, 4 * i, frames[i].leftMiddle);
    put(2, 4 * i, frames[i].leftHigh);
    put(1, 4 * i + 2, frames[i].rightLow);
    put(0, 4 * i + 2, frames[i].rightMiddle);
    put(2, 4 * i + 2, frames[i].rightHigh);
  }
  return buffer;
}

engine::Gains unitGains() { return {{1, 1, 1}, {1, 1, 1}}; }

// The frame after a sum shows the gains that sum left: a band value of 10000 comes out as
// 10000 times its gain.
TEST(ApplyCorrections, SumOfExactly32766PassesAndLeavesTheGains) {
  std::vector<std::uint8_t> buffer =
      planesOf({{0, 32766, 0, 0, -32766, 0}, {0, 10000, 0, 0, 10000, 0}});
  engine::SilentLog log;
  engine::applyCorrections(buffer.data(), 8, unitGains(), false, log);
  EXPECT_EQ(planeValue(buffer, 0, 0, 0), 32766);
  EXPECT_EQ(planeValue(buffer, 0, 0, 1), -32766);
  EXPECT_EQ(planeValue(buffer, 0, 1, 0), 10000);
  EXPECT_EQ(planeValue(buffer, 0, 1, 1), 10000);
}

TEST(ApplyCorrections, SumJustBeyondTheClampLowersTheChannelsGains) {
  // 0 × 2 + 32766 × 1 + 1 × 0.25 = 32766.25 in the left channel.
  std::vector<std::uint8_t> buffer =
      planesOf({{0, 32766, 1, 0, 0, 0}, {10000, 10000, 10000, 10000, 10000, 10000}});
  engine::SilentLog log;
  engine::applyCorrections(buffer.data(), 8, {{2.0f, 1.0f, 0.25f}, {2.0f, 1.0f, 0.25f}}, false,
                           log);
  EXPECT_EQ(planeValue(buffer, 0, 0, 0), 32766);
  const double factor = 32764.0 / 32766.25;
  EXPECT_EQ(planeValue(buffer, 0, 1, 0),
            static_cast<int>((2.0 * factor * 10000 + factor * 10000) + 0.25 * factor * 10000));
  EXPECT_EQ(planeValue(buffer, 0, 1, 0), 32497);
  EXPECT_EQ(planeValue(buffer, 0, 1, 1), 32500);
}

TEST(ApplyCorrections, SumsTruncateTowardZero) {
  // With the high gain at 0.5: 1.5, -1.5, -0.5 and 32765.5.
  std::vector<std::uint8_t> buffer =
      planesOf({{0, 1, 1, 0, -1, -1}, {0, 0, -1, 0, 32765, 1}});
  engine::SilentLog log;
  engine::applyCorrections(buffer.data(), 8, {{1.0f, 1.0f, 0.5f}, {1.0f, 1.0f, 0.5f}}, false,
                           log);
  EXPECT_EQ(planeValue(buffer, 0, 0, 0), 1);
  EXPECT_EQ(planeValue(buffer, 0, 0, 1), -1);
  EXPECT_EQ(planeValue(buffer, 0, 1, 0), 0);
  EXPECT_EQ(planeValue(buffer, 0, 1, 1), 32765);
}

TEST(ApplyCorrections, ClampOfMinus40000ResetsTheChannelTo32764) {
  std::vector<std::uint8_t> buffer =
      planesOf({{-20000, -10000, -10000, 3, 4, 5},
                {-20000, -10000, -10000, 3, 4, 5},
                {10000, 0, 0, 3, 4, 5}});
  RecordingLog log;
  engine::applyCorrections(buffer.data(), 12, unitGains(), false, log);
  EXPECT_EQ(planeValue(buffer, 0, 0, 0), -32766);
  EXPECT_EQ(planeValue(buffer, 0, 1, 0), -32764);
  // The right channel keeps its gains and its values.
  EXPECT_EQ(planeValue(buffer, 0, 0, 1), 12);
  EXPECT_EQ(planeValue(buffer, 0, 1, 1), 12);
  EXPECT_EQ(log.text(), "Step 4: Applying corrections...\n\n");
  // The gains were scaled by 32764 / 40000 at the first clamp.
  EXPECT_EQ(planeValue(buffer, 0, 2, 0), static_cast<int>(32764.0 / 40000.0 * 10000));
}

TEST(ApplyCorrections, IgnoringClicksClampsEachValueAloneAndKeepsTheGains) {
  std::vector<std::uint8_t> buffer = planesOf({{30000, 10000, 10000, -30000, -10000, -10000},
                                               {30000, 10000, 10000, -30000, -10000, -10000},
                                               {1000, 100, 10, -1000, -100, -10}});
  engine::SilentLog log;
  engine::applyCorrections(buffer.data(), 12, unitGains(), true, log);
  EXPECT_EQ(planeValue(buffer, 0, 0, 0), 32766);
  EXPECT_EQ(planeValue(buffer, 0, 1, 0), 32766);
  EXPECT_EQ(planeValue(buffer, 0, 2, 0), 1110);
  EXPECT_EQ(planeValue(buffer, 0, 0, 1), -32766);
  EXPECT_EQ(planeValue(buffer, 0, 1, 1), -32766);
  EXPECT_EQ(planeValue(buffer, 0, 2, 1), -1110);
}

TEST(ApplyCorrections, GainsWeightTheirOwnBandAndChannel) {
  std::vector<std::uint8_t> buffer =
      planesOf({{100, 10, 1, 200, 20, 2}, {-3, 7, -11, 13, -17, 19}});
  engine::SilentLog log;
  engine::applyCorrections(buffer.data(), 8, {{2.5f, 3, 5}, {7, 11, 13}}, false, log);
  EXPECT_EQ(planeValue(buffer, 0, 0, 0), 285);
  EXPECT_EQ(planeValue(buffer, 0, 0, 1), 1646);
  EXPECT_EQ(planeValue(buffer, 0, 1, 0), -41);  // -7.5 + 21 - 55 = -41.5
  EXPECT_EQ(planeValue(buffer, 0, 1, 1), 151);
  // The band planes are only read.
  EXPECT_EQ(planeValue(buffer, 1, 1, 0), -3);
  EXPECT_EQ(planeValue(buffer, 2, 1, 1), 19);
}

TEST(ApplyCorrections, NoOutputEverReachesFullScale) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> value(-32768, 32767);
  std::vector<BandFrame> frames(20000);
  for (BandFrame& frame : frames) {
    frame = {value(random), value(random), value(random),
             value(random), value(random), value(random)};
  }
  for (const bool ignoreClicks : {false, true}) {
    std::vector<std::uint8_t> buffer = planesOf(frames);
    engine::SilentLog log;
    engine::applyCorrections(buffer.data(), 80000, {{40, 10, 56}, {3, 0.5f, 56}}, ignoreClicks,
                             log);
    for (std::size_t frame = 0; frame < frames.size(); ++frame) {
      for (int channel = 0; channel < 2; ++channel) {
        const int output = planeValue(buffer, 0, frame, channel);
        ASSERT_LE(output, 32766);
        ASSERT_GE(output, -32766);
      }
    }
  }
}

TEST(ApplyCorrections, AllZeroPlanesStayZeroWhateverTheGains) {
  std::vector<std::uint8_t> buffer(3 * 400, 0);
  engine::SilentLog log;
  engine::applyCorrections(buffer.data(), 400, {{40, 10, 56}, {0.1f, 1e6f, -3}}, false, log);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
}

// The application pass as a plain transcription of its rules, to hold the fast walk to.
std::vector<std::uint8_t> appliedPlainly(std::vector<std::uint8_t> buffer,
                                         std::uint32_t targetLength, const engine::Gains& gains,
                                         bool ignoreClicks) {
  double channelGains[2][3] = {{gains.left.low, gains.left.middle, gains.left.high},
                               {gains.right.low, gains.right.middle, gains.right.high}};
  for (std::size_t frame = 0; frame < targetLength / 4; ++frame) {
    for (int channel = 0; channel < 2; ++channel) {
      double* g = channelGains[channel];
      const double sum = (g[0] * planeValue(buffer, 1, frame, channel) +
                          g[1] * planeValue(buffer, 0, frame, channel)) +
                         g[2] * planeValue(buffer, 2, frame, channel);
      int output = static_cast<int>(sum);
      if (sum > 32766.0 || sum < -32766.0) {
        output = sum > 0 ? 32766 : -32766;
        if (!ignoreClicks) {
          const double factor = (sum > 0 ? 32764.0 : -32764.0) / sum;
          for (int band = 0; band < 3; ++band) g[band] *= factor;
        }
      }
      engine::storeSample(buffer.data() + 4 * frame + 2 * channel,
                          static_cast<std::int16_t>(output));
    }
  }
  return buffer;
}

TEST(ApplyCorrections, FastWalkMatchesPlainArithmeticOnLoudTracksWithOccasionalClamps) {
  // Bands of a track that swells from loud to very loud, with bursts on top, so that the
  // limiter keeps acting in both channels however far it has lowered the gains.
  std::mt19937 random(23);
  std::normal_distribution<double> spread(0.0, 1.0);
  std::uniform_int_distribution<int> burst(0, 499);
  // Lengths that end with one, two and three frames beyond whole groups of four.
  for (const std::size_t frameCount : {std::size_t{200001}, std::size_t{4}, std::size_t{3}}) {
    std::vector<BandFrame> frames(frameCount);
    auto band = [&](double scale, double loudness) {
      return std::clamp(static_cast<int>(spread(random) * scale * loudness), -32766, 32766);
    };
    for (std::size_t index = 0; index < frameCount; ++index) {
      BandFrame& frame = frames[index];
      const double swell = 1.0 + 3.0 * static_cast<double>(index) / static_cast<double>(frameCount);
      const double loudness = swell * (burst(random) == 0 ? 3.0 : 1.0);
      frame = {band(3500, loudness), band(2500, loudness), band(900, loudness),
               band(3000, loudness), band(2800, loudness), band(700, loudness)};
    }
    const std::vector<std::uint8_t> planes = planesOf(frames);
    const auto targetLength = static_cast<std::uint32_t>(frameCount * 4);
    const engine::Gains gains{{1.9f, 2.7249999f, 3.4000001f}, {2.515385f, 3.1f, 2.25f}};
    for (const bool ignoreClicks : {false, true}) {
      SCOPED_TRACE(ignoreClicks);
      std::vector<std::uint8_t> buffer = planes;
      engine::SilentLog log;
      engine::applyCorrections(buffer.data(), targetLength, gains, ignoreClicks, log);
      const std::vector<std::uint8_t> expected =
          appliedPlainly(planes, targetLength, gains, ignoreClicks);
      ASSERT_EQ(buffer, expected);
      if (frameCount > 4) {
        int clampedValues = 0;
        for (std::size_t frame = 0; frame < frameCount; ++frame) {
          for (int channel = 0; channel < 2; ++channel) {
            if (std::abs(planeValue(buffer, 0, frame, channel)) == 32766) ++clampedValues;
          }
        }
        // Lowered gains clamp again only at a new extreme; held gains clamp at every one.
        EXPECT_GT(clampedValues, ignoreClicks ? 1000 : 20);
      }
    }
  }
}

}  // namespace
