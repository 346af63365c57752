#include "engine/band_split.h"

#include "engine/band_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tests/engine/pass_fakes.h"
#include "tests/engine/reference_scan.h"

namespace {

using engine::BandPeaks;
using engine::ChannelScan;
using engine_testing::bufferOfFrames;
using engine_testing::planeValue;
using engine_testing::RecordingHost;
using engine_testing::RecordingLog;
using engine_testing::ReferenceChannel;

TEST(BandSplit, OneFrameShowsTheScaledInputAndBothFilterSteps) {
  // Both filters start at the unscaled first value v and take one step toward 0.85v; the three
  // bands add back up to the scaled input. 666 scales to 566, a difference of -100, which steps
  // the fast filter by -70 and the slow one by -1; 6666 scales to 5666, which steps them by
  // -709 and -13.
  struct Case {
    int value, low, middle, high;
  };
  for (const Case& c : {Case{20, 20, -2, -1}, Case{666, 665, -69, -30},
                        Case{6666, 6653, -696, -291}}) {
    SCOPED_TRACE(c.value);
    std::vector<std::uint8_t> buffer = bufferOfFrames({{c.value, -c.value}});
    RecordingHost host;
    engine::SilentLog log;
    engine::splitAndScan(buffer.data(), 4, false, host, log);
    EXPECT_EQ(planeValue(buffer, 1, 0, 0), c.low);
    EXPECT_EQ(planeValue(buffer, 0, 0, 0), c.middle);
    EXPECT_EQ(planeValue(buffer, 2, 0, 0), c.high);
    EXPECT_EQ(planeValue(buffer, 1, 0, 1), -c.low);
    EXPECT_EQ(planeValue(buffer, 0, 0, 1), -c.middle);
    EXPECT_EQ(planeValue(buffer, 2, 0, 1), -c.high);
  }
}

TEST(BandSplit, TrackOfTenThousandSplitsFrameByFrame) {
  std::vector<std::uint8_t> buffer =
      bufferOfFrames({{10000, -10000}, {10000, -10000}, {10000, -10000}});
  RecordingHost host;
  RecordingLog log;
  engine::splitAndScan(buffer.data(), 12, false, host, log);

  const int low[] = {9981, 9962, 9943};
  const int middle[] = {-1045, -1335, -1406};
  const int high[] = {-436, -127, -37};
  for (std::size_t frame = 0; frame < 3; ++frame) {
    EXPECT_EQ(planeValue(buffer, 1, frame, 0), low[frame]) << frame;
    EXPECT_EQ(planeValue(buffer, 0, frame, 0), middle[frame]) << frame;
    EXPECT_EQ(planeValue(buffer, 2, frame, 0), high[frame]) << frame;
    // The channels are filtered alike and truncation is symmetric, so the right one mirrors.
    EXPECT_EQ(planeValue(buffer, 1, frame, 1), -low[frame]) << frame;
    EXPECT_EQ(planeValue(buffer, 0, frame, 1), -middle[frame]) << frame;
    EXPECT_EQ(planeValue(buffer, 2, frame, 1), -high[frame]) << frame;
  }

  EXPECT_EQ(log.text(),
            "\nStep 2: three-band filter and scanning...\n"
            "Monitored quasi-peaks:\n"
            "LF: R = -27 0 -- L = 0 27\n"
            "MF: R = 0 1167 -- L = -1167 0\n"
            "HF: R = 0 0 -- L = 0 0\n\n"
            "Monitored peaks:\n"
            "LF: R = -9981 0 -- L = 0 9981\n"
            "MF: R = 0 1406 -- L = -1406 0\n"
            "HF: R = 0 436 -- L = -436 0\n\n");
}

TEST(BandSplit, SilentTrackLeavesPlanesAndRecordAtZero) {
  std::vector<std::uint8_t> buffer = bufferOfFrames(std::vector<std::pair<int, int>>(100, {0, 0}));
  RecordingHost host;
  engine::SilentLog log;
  const engine::ScanRecord record = engine::splitAndScan(buffer.data(), 400, true, host, log);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
  const ChannelScan* channels[] = {&record.left, &record.right};
  for (const ChannelScan* channel : channels) {
    for (const BandPeaks* band : {&channel->low, &channel->middle, &channel->high}) {
      EXPECT_EQ(band->peakMax, 0);
      EXPECT_EQ(band->peakMin, 0);
      EXPECT_EQ(band->quasiPeakMax, 0);
      EXPECT_EQ(band->quasiPeakMin, 0);
    }
  }
}

TEST(BandSplit, EmptyTrackWalksNothingButLogsZeros) {
  std::vector<std::uint8_t> buffer(1, 0x77);
  RecordingHost host;
  RecordingLog log;
  engine::splitAndScan(buffer.data(), 0, false, host, log);
  EXPECT_TRUE(host.gaugeSteps.empty());
  EXPECT_EQ(buffer[0], 0x77);
  EXPECT_EQ(log.text(),
            "\nStep 2: three-band filter and scanning...\n"
            "Monitored quasi-peaks:\n"
            "LF: R = 0 0 -- L = 0 0\n"
            "MF: R = 0 0 -- L = 0 0\n"
            "HF: R = 0 0 -- L = 0 0\n\n"
            "Monitored peaks:\n"
            "LF: R = 0 0 -- L = 0 0\n"
            "MF: R = 0 0 -- L = 0 0\n"
            "HF: R = 0 0 -- L = 0 0\n\n");
}

TEST(BandSplit, MiddleBandBeyondLimitIsHeldAt32766) {
  std::vector<std::uint8_t> buffer = bufferOfFrames({{-32768, 32767}, {32767, -32768}});
  RecordingHost host;
  engine::SilentLog log;
  const engine::ScanRecord record = engine::splitAndScan(buffer.data(), 8, false, host, log);
  EXPECT_EQ(planeValue(buffer, 0, 1, 0), 32766);
  EXPECT_EQ(planeValue(buffer, 0, 1, 1), -32766);
  EXPECT_EQ(record.left.middle.peakMax, 32766);
  EXPECT_EQ(record.right.middle.peakMin, -32766);
}

TEST(BandSplit, FullScaleFirstValueGivesLowPeakOf32704) {
  std::vector<std::uint8_t> buffer = bufferOfFrames({{32767, 0}, {32767, 0}, {32767, 0}});
  RecordingHost host;
  engine::SilentLog log;
  const engine::ScanRecord record = engine::splitAndScan(buffer.data(), 12, false, host, log);
  EXPECT_EQ(planeValue(buffer, 1, 0, 0), 32704);
  EXPECT_EQ(record.left.low.peakMax, 32704);
}

TEST(BandSplit, GaugeStepsAtEverySixteenMebibytesOfFrameOffset) {
  EXPECT_EQ(engine::scanGaugePercent(0, 176'400'000), 25);
  EXPECT_EQ(engine::scanGaugePercent(16'777'216, 176'400'000), 31);
  EXPECT_EQ(engine::scanGaugePercent(33'554'432, 176'400'000), 38);
  // Shorter than 70 bytes the gauge has no scale; it shows where the scan starts.
  EXPECT_EQ(engine::scanGaugePercent(0, 4), 25);
  EXPECT_EQ(engine::scanGaugePercent(0, 68), 25);
  EXPECT_EQ(engine::scanGaugePercent(0, 72), 25);

  std::vector<std::uint8_t> buffer = bufferOfFrames({{1, 2}, {3, 4}});
  RecordingHost host;
  engine::SilentLog log;
  engine::splitAndScan(buffer.data(), 8, false, host, log);
  ASSERT_EQ(host.gaugeSteps.size(), 1u);
  EXPECT_EQ(host.gaugeSteps[0], std::make_pair(25, 30));
}

// The rules below are those of the reference, which the engine's walk is held to on whole
// tracks further down; here each is shown on values chosen for it.
void recordHigh(ReferenceChannel& channel, int high, bool ignoreClicks) {
  channel.record(0, 0, high, ignoreClicks);
}

TEST(ScanRules, ClickOfThreeSamplesLeavesHighPeakWhileRunOfFourMovesItToItsLargest) {
  ReferenceChannel scan;
  for (int high : {500, 900, 600, 0}) recordHigh(scan, high, true);
  EXPECT_EQ(scan.peak[2][0], 0);

  for (int high : {500, 700, 600, 550}) recordHigh(scan, high, true);
  EXPECT_EQ(scan.peak[2][0], 700);
  EXPECT_EQ(scan.upRun, 0);

  recordHigh(scan, 800, true);
  EXPECT_EQ(scan.peak[2][0], 700);
  EXPECT_EQ(scan.upRun, 1);
  EXPECT_EQ(scan.upCandidate, 800);
}

TEST(ScanRules, DownwardClicksAreIgnoredLikeUpwardOnes) {
  ReferenceChannel scan;
  for (int high : {-500, -900, -600, 0}) recordHigh(scan, high, true);
  EXPECT_EQ(scan.peak[2][1], 0);
  for (int high : {-500, -700, -600, -550})
    recordHigh(scan, high, true);
  EXPECT_EQ(scan.peak[2][1], -700);

  // A sample above the peak maximum breaks a downward run.
  for (int high : {-800, -800, -800, 5, -800})
    recordHigh(scan, high, true);
  EXPECT_EQ(scan.peak[2][1], -700);
  EXPECT_EQ(scan.downRun, 1);
}

TEST(ScanRules, WithoutIgnoringClicksOneSampleMovesTheHighPeak) {
  ReferenceChannel scan;
  recordHigh(scan, 900, false);
  recordHigh(scan, -300, false);
  EXPECT_EQ(scan.peak[2][0], 900);
  EXPECT_EQ(scan.peak[2][1], -300);
}

TEST(ScanRules, HighStepIsTwoWhileARunIsPendingElseEight) {
  ReferenceChannel scan;
  const int expectedSteps[] = {2, 4, 6, 14, 22};
  for (int expected : expectedSteps) {
    recordHigh(scan, 100, true);
    EXPECT_EQ(scan.upStep, expected);
  }

  ReferenceChannel plain;
  for (int expected : {8, 16, 24}) {
    recordHigh(plain, 100, false);
    EXPECT_EQ(plain.upStep, expected);
  }
}

TEST(ScanRules, HighQuasiPeakMovesByOneEveryThirtyTwoSamplesBeyondIt) {
  ReferenceChannel scan;
  for (int i = 0; i < 31; ++i) recordHigh(scan, 100, false);
  EXPECT_EQ(scan.quasi[2][0], 0);
  recordHigh(scan, 100, false);
  EXPECT_EQ(scan.quasi[2][0], 1);
  EXPECT_EQ(scan.upStep, 0);

  for (int i = 0; i < 64; ++i) recordHigh(scan, -100, false);
  EXPECT_EQ(scan.quasi[2][1], -2);
  EXPECT_EQ(scan.quasi[2][0], 1);
}

TEST(ScanRules, MiddleQuasiPeakAveragesSamplesInTheOuterHalfOfThePeakRange) {
  ReferenceChannel scan;
  scan.peak[1][0] = 200, scan.peak[1][1] = -200, scan.quasi[1][0] = 51, scan.quasi[1][1] = -51;
  scan.record(0, 101, 0, false);
  EXPECT_EQ(scan.quasi[1][0], 75);
  scan.record(0, -101, 0, false);
  EXPECT_EQ(scan.quasi[1][1], -75);

  scan.peak[1][0] = 200, scan.peak[1][1] = -200, scan.quasi[1][0] = 51, scan.quasi[1][1] = -51;
  scan.record(0, 100, 0, false);
  scan.record(0, -100, 0, false);
  EXPECT_EQ(scan.quasi[1][0], 51);
  EXPECT_EQ(scan.quasi[1][1], -51);

  // It can fall: a sample just above half the peak pulls a high average down.
  scan.peak[1][0] = 200, scan.peak[1][1] = 0, scan.quasi[1][0] = 180, scan.quasi[1][1] = 0;
  scan.record(0, 101, 0, false);
  EXPECT_EQ(scan.quasi[1][0], 140);
}

TEST(ScanRules, LowQuasiPeakFollowsAThousandthAndStopsWithin999) {
  ReferenceChannel scan;
  scan.record(5000, 0, 0, false);
  EXPECT_EQ(scan.quasi[0][0], 5);
  scan.quasi[0][0] = 4001;
  scan.record(5000, 0, 0, false);
  EXPECT_EQ(scan.quasi[0][0], 4001);
  scan.record(-2500, 0, 0, false);
  EXPECT_EQ(scan.quasi[0][1], -2);
  EXPECT_EQ(scan.quasi[0][0], 4001);
}

void expectSameBand(const BandPeaks& band, const ReferenceChannel& reference, int index) {
  EXPECT_EQ(band.peakMax, reference.peak[index][0]);
  EXPECT_EQ(band.peakMin, reference.peak[index][1]);
  EXPECT_EQ(band.quasiPeakMax, reference.quasi[index][0]);
  EXPECT_EQ(band.quasiPeakMin, reference.quasi[index][1]);
}

// Splits and scans the frames, and expects every band value and every record value to be
// those of the plain line-by-line rules; returns the record.
// With loadAsItGoes the frames are not there at first but brought in by the pass's load.
engine::ScanRecord expectScanAsPlainArithmetic(const std::vector<std::pair<int, int>>& frames,
                                               bool ignoreClicks, bool splitOnOwnThread = false,
                                               bool loadAsItGoes = false) {
  std::vector<std::uint8_t> buffer = bufferOfFrames(frames);
  RecordingHost host;
  engine::SilentLog log;
  const auto targetLength = static_cast<std::uint32_t>(frames.size() * 4);
  const std::vector<std::uint8_t> source = buffer;
  std::uint32_t loaded = 0;
  if (loadAsItGoes) std::fill_n(buffer.begin(), targetLength, 0);
  const engine::FramesLoad load = [&](std::uint32_t end) {
    EXPECT_GT(end, loaded);
    std::copy(source.begin() + loaded, source.begin() + end, buffer.begin() + loaded);
    loaded = end;
  };
  const engine::ScanRecord record =
      engine::splitAndScan(buffer.data(), targetLength, ignoreClicks, host, log, splitOnOwnThread,
                           {}, loadAsItGoes ? load : engine::FramesLoad{});
  EXPECT_EQ(loaded, loadAsItGoes ? targetLength : 0);

  std::vector<std::uint8_t> expected(buffer.size());
  ReferenceChannel reference[2] = {ReferenceChannel(frames[0].first),
                                   ReferenceChannel(frames[0].second)};
  for (std::size_t frame = 0; frame < frames.size(); ++frame) {
    reference[0].step(frames[frame].first, ignoreClicks);
    reference[1].step(frames[frame].second, ignoreClicks);
    for (int channel = 0; channel < 2; ++channel) {
      for (int band = 0; band < 3; ++band) {
        // Planes in buffer order: middle, low, high.
        const int plane = band == 1 ? 0 : band == 0 ? 1 : 2;
        engine::storeSample(
            expected.data() + plane * std::size_t{targetLength} + 4 * frame + 2 * channel,
            static_cast<std::int16_t>(reference[channel].bands[band]));
      }
    }
  }
  EXPECT_EQ(buffer, expected) << "band planes";
  const ChannelScan* channels[] = {&record.left, &record.right};
  for (int channel = 0; channel < 2; ++channel) {
    expectSameBand(channels[channel]->low, reference[channel], 0);
    expectSameBand(channels[channel]->middle, reference[channel], 1);
    expectSameBand(channels[channel]->high, reference[channel], 2);
  }
  return record;
}

TEST(BandSplit, FastWalkMatchesPlainDoubleArithmeticOnLoudCrackledMusic) {
  // Bass and treble near full scale with sparse clicks, so that every rule and both limits
  // are exercised.
  std::mt19937 random(5);
  std::uniform_int_distribution<int> noise(-3000, 3000);
  std::vector<std::pair<int, int>> frames;
  for (int i = 0; i < 60000; ++i) {
    const double bass = 26000 * std::sin(i * 0.01);
    const double treble = 6000 * std::sin(i * 1.3);
    int left = static_cast<int>(bass + treble) + noise(random);
    int right = static_cast<int>(0.5 * bass - treble) + noise(random) / 3;
    if (i % 997 < 2) left = (i % 2 ? 32767 : -32768);
    if (i % 1499 < 3) right = -right * 3;
    frames.emplace_back(std::clamp(left, -32768, 32767), std::clamp(right, -32768, 32767));
  }
  for (const bool ignoreClicks : {false, true}) {
    SCOPED_TRACE(ignoreClicks);
    const engine::ScanRecord record = expectScanAsPlainArithmetic(frames, ignoreClicks);
    EXPECT_EQ(record.left.middle.peakMax, 32766);
  }
}

TEST(BandSplit, IntegerFiltersGiveTheDoubleProductsForEveryPossibleValue) {
  for (int value = -32768; value <= 32767; ++value) {
    ASSERT_EQ(engine::scaledInputExactly(value),
              static_cast<int>(value * double{engine::kInputScale}))
        << value;
  }
  // Differences between a scaled input and a 16-bit state stay within ±60620; every 17-bit
  // difference is checked, from states at both ends of the range and in the middle.
  for (const int state : {-32768, 0, 32767}) {
    for (int difference = -65535; difference <= 65535; ++difference) {
      ASSERT_EQ(engine::lowPassed(state, state + difference, engine::kExactSlowCoefficient),
                state + static_cast<int>(difference * double{engine::kSlowCoefficient}))
          << difference;
      ASSERT_EQ(engine::lowPassed(state, state + difference, engine::kExactFastCoefficient),
                state + static_cast<int>(difference * double{engine::kFastCoefficient}))
          << difference;
    }
  }
}

// A track of changing character, frame pairs per section: silence, a quiet passage whose
// bands stay well inside their quasi-peaks, a swell to full scale, hiss with isolated and
// paired clicks, a square wave at the limits and a fade back down.
std::vector<std::pair<int, int>> trackOfManySections(std::size_t frameCount) {
  std::mt19937 random(17);
  std::normal_distribution<double> hiss(0.0, 1.0);
  std::vector<std::pair<int, int>> frames;
  for (std::size_t i = 0; i < frameCount; ++i) {
    const double t = static_cast<double>(i);
    const int section = static_cast<int>(i * 6 / frameCount);
    double left = 0, right = 0;
    switch (section) {
      case 0:
        break;
      case 1:
        left = 3000 * std::sin(t * 0.02) + 400 * std::sin(t * 0.9) + 30 * hiss(random);
        right = 2000 * std::sin(t * 0.013) - 300 * std::sin(t * 1.7) + 30 * hiss(random);
        break;
      case 2: {
        const double swell = static_cast<double>(i % (frameCount / 6)) / (frameCount / 6.0);
        left = swell * (30000 * std::sin(t * 0.004) + 4000 * std::sin(t * 0.5));
        right = swell * (25000 * std::sin(t * 0.007 + 1) - 6000 * std::sin(t * 2.1));
        break;
      }
      case 3:
        left = 1500 * hiss(random) + (i % 3001 < 2 ? 30000 : 0) - (i % 4999 < 5 ? 28000 : 0);
        right = 900 * hiss(random) + (i % 2003 == 0 ? -32768 : 0) + (i % 7001 < 4 ? 20000 : 0);
        break;
      case 4:
        left = (i / 300) % 2 ? 32767 : -32768;
        right = (i / 170) % 2 ? -32768 : 32767;
        break;
      default: {
        const double fade = 1.0 - static_cast<double>(i % (frameCount / 6)) / (frameCount / 6.0);
        left = fade * (12000 * std::sin(t * 0.05) + 200 * hiss(random));
        right = fade * 8000 * std::sin(t * 0.31);
      }
    }
    frames.emplace_back(std::clamp(static_cast<int>(left), -32768, 32767),
                        std::clamp(static_cast<int>(right), -32768, 32767));
  }
  return frames;
}

TEST(BandSplit, FastWalkMatchesPlainArithmeticThroughQuietLoudAndClickySections) {
  // An odd frame count, so that the walk ends inside a group and inside a block.
  // The split runs on the scan's own thread, and on a second one ahead of it.
  const std::vector<std::pair<int, int>> frames = trackOfManySections(400003);
  for (const auto& [ignoreClicks, ownThread] : {std::pair{false, false}, std::pair{true, false},
                                                std::pair{false, true}, std::pair{true, true}}) {
    SCOPED_TRACE(testing::Message() << ignoreClicks << ownThread);
    const engine::ScanRecord record = expectScanAsPlainArithmetic(frames, ignoreClicks, ownThread);
    // The square wave reaches the band limit, and the high quasi-peaks have moved.
    EXPECT_EQ(record.left.middle.peakMax, 32766);
    EXPECT_EQ(record.right.middle.peakMin, -32766);
    EXPECT_GT(record.left.high.quasiPeakMax, 0);
    EXPECT_LT(record.right.high.quasiPeakMin, 0);
  }
}

TEST(BandSplit, JoinStatesAreProvenAfterMusicButNotAfterAStillStretch) {
  // 40000 frames of music, then 40000 of a steady value: the proof over the music's last 32768
  // frames gives the states the walk has there; over the still stretch the runs from the two
  // extremes come to rest apart.
  std::vector<std::pair<int, int>> frames = trackOfManySections(40000);
  frames.resize(80000, {1200, -700});
  const std::vector<std::uint8_t> track = bufferOfFrames(frames);
  std::vector<std::uint8_t> walked = track;
  const auto targetLength = static_cast<std::uint32_t>(frames.size() * 4);
  const std::int64_t firstLeft = frames[0].first;
  const std::int64_t firstRight = frames[0].second;
  engine::FrameFilter filter{{firstLeft, firstLeft}, {firstRight, firstRight}};
  for (std::uint32_t begin = 0; begin < 160000; begin += engine::kBlockBytes) {
    engine::splitBlock(walked.data(), targetLength, begin,
                       std::min<std::uint32_t>(begin + engine::kBlockBytes, 160000), filter);
  }
  EXPECT_EQ(engine::provenFilterState(track.data(), 160000 - 131072, 160000), filter);
  EXPECT_EQ(engine::provenFilterState(track.data(), 320000 - 131072, 320000), std::nullopt);

  // Still where the two threads would share the split, whether or not the scan's thread loads
  // the frames first: the split's thread then takes it all.
  std::vector<std::pair<int, int>> stillAtTheJoin = trackOfManySections(400000);
  std::fill(stillAtTheJoin.begin() + 150000, stillAtTheJoin.begin() + 330000,
            std::pair{1200, -700});
  for (const bool loadAsItGoes : {false, true}) {
    expectScanAsPlainArithmetic(stillAtTheJoin, false, true, loadAsItGoes);
  }
}

TEST(BandSplit, MiddleQuasiPeaksComeFromTheTrackEndOrFromItsStart) {
  // The middle band's quasi-peaks are proven over a last stretch of the pass. A loud opening
  // and a soft rest leave no value beyond half the peaks near the end, so nothing is proven
  // and the pass is walked from its start; a soft track whose loudest moment comes in its
  // last blocks moves the peaks inside the stretch that proves the quasi-peaks.
  std::vector<std::pair<int, int>> loudOpening = trackOfManySections(400000);
  std::rotate(loudOpening.begin(), loudOpening.begin() + 4 * 400000 / 6, loudOpening.end());
  for (std::size_t i = 30000; i < loudOpening.size(); ++i) {
    loudOpening[i] = {loudOpening[i].first / 8, loudOpening[i].second / 8};
  }
  std::vector<std::pair<int, int>> loudEnding(loudOpening.rbegin(), loudOpening.rend());
  for (const auto* frames : {&loudOpening, &loudEnding}) {
    for (const bool ownThread : {false, true}) {
      expectScanAsPlainArithmetic(*frames, false, ownThread);
    }
  }
}

TEST(BandSplit, EveryPrefixOfASoftNoisyTrackRecordsLikePlainArithmetic) {
  // Soft noise keeps the low band near 0 and the other bands close to their quasi-peaks and
  // half peaks, so values fall on every bound of the record, inside and beyond. Scanning each
  // prefix of the track shows the record after every frame, not only at the end.
  std::mt19937 random(29);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<std::pair<int, int>> frames;
  for (int i = 0; i < 2500; ++i) {
    const double level = 20.0 + 60.0 * std::abs(std::sin(i * 0.003));
    frames.emplace_back(static_cast<int>(level * noise(random)),
                        static_cast<int>(level * noise(random) + (i % 701 == 0 ? 900 : 0)));
  }
  for (const bool ignoreClicks : {false, true}) {
    SCOPED_TRACE(ignoreClicks);
    ReferenceChannel reference[2] = {ReferenceChannel(frames[0].first),
                                     ReferenceChannel(frames[0].second)};
    for (std::size_t frameCount = 1; frameCount <= frames.size(); ++frameCount) {
      reference[0].step(frames[frameCount - 1].first, ignoreClicks);
      reference[1].step(frames[frameCount - 1].second, ignoreClicks);
      std::vector<std::uint8_t> buffer =
          bufferOfFrames({frames.begin(), frames.begin() + static_cast<long>(frameCount)});
      RecordingHost host;
      engine::SilentLog log;
      const engine::ScanRecord record = engine::splitAndScan(
          buffer.data(), static_cast<std::uint32_t>(frameCount * 4), ignoreClicks, host, log);
      const ChannelScan* channels[] = {&record.left, &record.right};
      for (int channel = 0; channel < 2; ++channel) {
        for (int band = 0; band < 3; ++band) {
          const BandPeaks& peaks = band == 0   ? channels[channel]->low
                                   : band == 1 ? channels[channel]->middle
                                               : channels[channel]->high;
          ASSERT_EQ(peaks.peakMax, reference[channel].peak[band][0]) << frameCount;
          ASSERT_EQ(peaks.peakMin, reference[channel].peak[band][1]) << frameCount;
          ASSERT_EQ(peaks.quasiPeakMax, reference[channel].quasi[band][0]) << frameCount;
          ASSERT_EQ(peaks.quasiPeakMin, reference[channel].quasi[band][1]) << frameCount;
        }
      }
    }
  }
}

}  // namespace

namespace {

TEST(BandSplit, LongTrackMovesTheGaugeAtEachStretchAndCarriesItsStateAcross) {
  // Just over two progress stretches of 16 MiB: the gauge moves at the first frame and at
  // each stretch, and the filters and counters run on across the stretch boundaries.
  const std::size_t frameCount = (2 * (std::size_t{1} << 24) + 4000) / 4;
  const std::vector<std::pair<int, int>> frames = trackOfManySections(frameCount);
  std::vector<std::uint8_t> buffer = bufferOfFrames(frames);
  const auto targetLength = static_cast<std::uint32_t>(frameCount * 4);
  for (const bool ownThread : {false, true}) {
    RecordingHost host;
    engine::SilentLog log;
    std::vector<std::uint8_t> walked = buffer;
    engine::splitAndScan(walked.data(), targetLength, false, host, log, ownThread);
    // 33558432 / 70 = 479406; 16777216 / 479406 = 34 and 33554432 / 479406 = 69.
    EXPECT_EQ(host.gaugeSteps,
              (std::vector<std::pair<int, int>>{{25, 30}, {25 + 34, 30}, {25 + 69, 30}}));
  }
  for (const auto& [ignoreClicks, ownThread] : {std::pair{false, false}, std::pair{true, true}}) {
    SCOPED_TRACE(testing::Message() << ignoreClicks << ownThread);
    expectScanAsPlainArithmetic(frames, ignoreClicks, ownThread);
  }
}

}  // namespace
