#include "engine/gains.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/engine/pass_fakes.h"

namespace {

using engine::BandPeaks;
using engine::Gains;
using engine::LevelGain;
using engine_testing::RecordingLog;

std::string printed(float gain) {
  char text[32];
  std::snprintf(text, sizeof text, "%f", gain);
  return text;
}

BandPeaks peaks(int peakMax, int peakMin) {
  return {static_cast<std::int16_t>(peakMax), static_cast<std::int16_t>(peakMin), 0, 0};
}

TEST(Gains, BandLevelIsTheLargerQuasiPeakMagnitude) {
  EXPECT_EQ(engine::bandLevel({0, 0, 300, -500}), 500);
  EXPECT_EQ(engine::bandLevel({0, 0, 700, -500}), 700);
  EXPECT_EQ(engine::bandLevel({0, 0, 0, -32768}), 32768);
}

TEST(Gains, LowLevelOf5000GivesThreePointFourThenThePeakRulesLowerIt) {
  const LevelGain gain = engine::levelGain(5000, engine::kLowBandRule);
  EXPECT_EQ(gain.gain, 3.4000001f);
  EXPECT_TRUE(gain.boosts);
  EXPECT_EQ(engine::peakAllowance(gain.gain), 9637);
  EXPECT_EQ(engine::boundByPeaks(gain, peaks(9637, -9637)), 3.4000001f);

  const float lowered = engine::boundByPeaks(gain, peaks(12000, 0));
  EXPECT_EQ(lowered, 2.7249999f);
  EXPECT_EQ(engine::peakAllowance(lowered), 12024);
  EXPECT_EQ(engine::boundByPeaks(gain, peaks(12000, -12024)), 2.7249999f);

  const float loweredTwice = engine::boundByPeaks(gain, peaks(12000, -13000));
  EXPECT_EQ(loweredTwice, static_cast<float>(32700.0 / 13000.0));
  EXPECT_EQ(printed(loweredTwice), "2.515385");
}

TEST(Gains, LevelsAtTheirThresholdTakeTheCap) {
  EXPECT_EQ(engine::levelGain(425, engine::kLowBandRule).gain, 40.0f);
  EXPECT_EQ(printed(engine::levelGain(426, engine::kLowBandRule).gain), "39.906105");
  EXPECT_EQ(engine::levelGain(300, engine::kLowBandRule).gain, 40.0f);
  EXPECT_EQ(engine::levelGain(300, engine::kLowBandRuleNoBassline).gain, 30.0f);
  EXPECT_EQ(engine::levelGain(225, engine::kLowBandRuleNoBassline).gain, 40.0f);
  EXPECT_EQ(engine::levelGain(1300, engine::kMiddleBandRule).gain, 10.0f);
  EXPECT_EQ(engine::levelGain(1301, engine::kMiddleBandRule).gain,
            static_cast<float>(13000.0 / 1301));
  EXPECT_EQ(engine::levelGain(0, engine::kHighBandRule).gain, 56.0f);
  EXPECT_EQ(engine::levelGain(80, engine::kHighBandRule).gain, 56.0f);
  EXPECT_EQ(engine::levelGain(81, engine::kHighBandRule).gain, 55.555557f);
  EXPECT_TRUE(engine::levelGain(80, engine::kHighBandRule).boosts);
}

TEST(Gains, GainOfOneOrLessIgnoresEvenFullScalePeaks) {
  const LevelGain atTarget = engine::levelGain(17000, engine::kLowBandRule);
  EXPECT_EQ(atTarget.gain, 1.0f);
  EXPECT_FALSE(atTarget.boosts);
  EXPECT_EQ(engine::boundByPeaks(atTarget, peaks(32767, -32768)), 1.0f);

  const LevelGain above = engine::levelGain(26000, engine::kMiddleBandRule);
  EXPECT_EQ(above.gain, 0.5f);
  EXPECT_EQ(engine::boundByPeaks(above, peaks(32766, -32766)), 0.5f);
}

TEST(Gains, FullScaleFirstValueLowersTheCapJustBelowOne) {
  const LevelGain cap = engine::levelGain(0, engine::kLowBandRule);
  const float lowered = engine::boundByPeaks(cap, peaks(32704, 0));
  EXPECT_EQ(lowered, static_cast<float>(32700.0 / 32704.0));
  EXPECT_EQ(printed(lowered), "0.999878");
  EXPECT_EQ(engine::peakAllowance(lowered), 32771);
  // The allowance is above any 16-bit magnitude, so no peak minimum lowers the gain again.
  EXPECT_EQ(engine::boundByPeaks(cap, peaks(32704, -32768)), lowered);
}

Gains gainsOf(float leftLow, float leftMiddle, float leftHigh, float rightLow, float rightMiddle,
              float rightHigh) {
  return {{leftLow, leftMiddle, leftHigh}, {rightLow, rightMiddle, rightHigh}};
}

TEST(Gains, BandsExactlyFourTimesOrAQuarterOfTheMiddleAreNotFarApart) {
  EXPECT_FALSE(engine::bandsFarApart(gainsOf(4, 1, 0.25f, 0.25f, 1, 4)));
  EXPECT_FALSE(engine::bandsFarApart(gainsOf(40, 10, 40, 40, 10, 40)));
  EXPECT_FALSE(engine::bandsFarApart(gainsOf(0.999878f, 3.0f, 11.9f, 1, 1, 1)));
}

TEST(Gains, AnyOfTheFourBandsBeyondTheRatiosIsFarApart) {
  EXPECT_TRUE(engine::bandsFarApart(gainsOf(40, 10, 56, 40, 10, 56)));
  EXPECT_TRUE(engine::bandsFarApart(gainsOf(4.0001f, 1, 1, 1, 1, 1)));
  EXPECT_TRUE(engine::bandsFarApart(gainsOf(1, 1, 1, 0.2499f, 1, 1)));
  EXPECT_TRUE(engine::bandsFarApart(gainsOf(1, 1, 0.2f, 1, 1, 1)));
  EXPECT_TRUE(engine::bandsFarApart(gainsOf(1, 1, 1, 1, 1, 4.5f)));
}

TEST(Gains, SilentScanGivesTheCapsAndBothLogBlocks) {
  RecordingLog log;
  const Gains gains = engine::correctionGains({}, {}, log);
  EXPECT_EQ(gains.left.low, 40.0f);
  EXPECT_EQ(gains.right.low, 40.0f);
  EXPECT_EQ(gains.left.middle, 10.0f);
  EXPECT_EQ(gains.right.middle, 10.0f);
  EXPECT_EQ(gains.left.high, 56.0f);
  EXPECT_EQ(gains.right.high, 56.0f);
  EXPECT_TRUE(engine::bandsFarApart(gains));
  const std::string block = engine_testing::kCappedGainLines;
  EXPECT_EQ(log.text(),
            "Step 3: Setting correction parameters...\n"
            "Before max peak considerations:\n" +
                block + "After max peak considerations:\n" + block);
}

TEST(Gains, EachGainIsBoundByTheBandAndChannelItMultiplies) {
  engine::ScanRecord record;
  record.left.low = {12000, 0, 5000, 0};
  record.right.low = {0, -13000, 0, -5000};
  record.left.middle = {0, -5000, 0, -2600};
  record.right.middle = {32766, 0, 2000, 0};
  record.left.high = {700, -100, 90, -150};
  record.right.high = {0, 0, 0, 0};
  engine::TrackFlags flags;
  flags.ignoreClicks = true;
  RecordingLog log;
  const Gains gains = engine::correctionGains(record, flags, log);
  EXPECT_EQ(log.text(),
            "Step 3: Setting correction parameters...\n"
            "Before max peak considerations:\n"
            "Left channel low freq: 3.400000\n"
            "Right channel low freq: 3.400000\n"
            "Left channel middle freq: 5.000000\n"
            "Right channel middle freq: 6.500000\n"
            "Left channel high freq: 30.000000\n"
            "Right channel high freq: 56.000000\n\n"
            "After max peak considerations (Clicks and pops not taken into account):\n"
            "Left channel low freq: 2.725000\n"
            "Right channel low freq: 2.515385\n"
            "Left channel middle freq: 5.000000\n"
            "Right channel middle freq: 0.997986\n"
            "Left channel high freq: 30.000000\n"
            "Right channel high freq: 56.000000\n\n");
  EXPECT_EQ(gains.left.low, 2.7249999f);
  EXPECT_EQ(gains.right.middle, static_cast<float>(32700.0 / 32766));
}

TEST(Gains, NoBasslineAimsTheLowBandLower) {
  engine::ScanRecord record;
  record.left.low.quasiPeakMax = 300;
  record.right.low.quasiPeakMax = 4500;
  engine::TrackFlags flags;
  flags.noBassline = true;
  engine::SilentLog log;
  const Gains gains = engine::correctionGains(record, flags, log);
  EXPECT_EQ(gains.left.low, 30.0f);
  EXPECT_EQ(gains.right.low, 2.0f);
}

}  // namespace
