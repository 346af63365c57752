#include "loudness/true_peak.h"

#include <gtest/gtest.h>

#include <limits>

#include "tests/support/level_expectations.h"
#include "tests/support/music_signal.h"
#include "tests/support/reference_meter.h"

using loudness::decibels;
using testing_support::expectSameLevel;
using testing_support::kPeakToleranceDb;
using testing_support::pcm16Bytes;
using testing_support::pcm16Of;
using testing_support::quarterRateTone;
using testing_support::ReferenceMeter;

namespace {

constexpr double kSilence = -std::numeric_limits<double>::infinity();

// Our true and sample peaks of the audio, as floats and as 16-bit bytes at an odd address,
// against libebur128's of the same samples. Returns our true peak of the floats in dBTP.
double expectPeaksAgree(const std::vector<float>& samples) {
  ReferenceMeter reference(EBUR128_MODE_TRUE_PEAK);
  reference.add(samples);
  loudness::TruePeakMeter meter;
  meter.addFloat(samples.data(), samples.size() / 2);
  expectSameLevel(meter.truePeakDbtp(), decibels(reference.truePeak()), kPeakToleranceDb);
  EXPECT_EQ(meter.samplePeak(), reference.samplePeak());

  const std::vector<std::int16_t> values = pcm16Of(samples);
  ReferenceMeter reference16(EBUR128_MODE_TRUE_PEAK);
  reference16.add(values);
  std::vector<std::uint8_t> bytes = pcm16Bytes(values);
  bytes.insert(bytes.begin(), 0x7F);
  loudness::TruePeakMeter meter16;
  meter16.addPcm16(bytes.data() + 1, values.size() / 2);
  expectSameLevel(meter16.truePeakDbtp(), decibels(reference16.truePeak()), kPeakToleranceDb);
  EXPECT_EQ(meter16.samplePeak(), reference16.samplePeak());
  return meter.truePeakDbtp();
}

}  // namespace

TEST(TruePeak, AgreesWithLibebur128OnMusicAtEveryLevelClippedOrNot) {
  for (double peakDbfs : {-40.0, -12.0, -1.0, 6.0}) {
    SCOPED_TRACE(peakDbfs);
    expectPeaksAgree(testing_support::musicLike(12.0, peakDbfs, 7));
  }
}

TEST(TruePeak, AgreesWithLibebur128BetweenTheSamples) {
  // Full scale at a quarter of the rate, phase pi/4: samples at -3 dB, the wave at 0 dB, which
  // the interpolator's gain there (+0.1 dB) lifts a little.
  const double tone = expectPeaksAgree(quarterRateTone(44100, 1.0, std::numbers::pi / 4));
  EXPECT_NEAR(tone, 0.1, 0.01);
  // The wave in one channel, the other at a tenth of it, either way round: only the loud
  // channel's stretches can reach, and they alone are interpolated.
  for (std::size_t quiet : {0, 1}) {
    std::vector<float> oneSided = quarterRateTone(44100, 1.0, std::numbers::pi / 4);
    for (std::size_t i = quiet; i < oneSided.size(); i += 2) oneSided[i] *= 0.1f;
    EXPECT_NEAR(expectPeaksAgree(oneSided), 0.1, 0.01);
  }
  // The same wave, smaller, riding on a constant near full scale: a narrow range high up, whose
  // crests between the samples still rise above every sample.
  std::vector<float> riding = quarterRateTone(44100, 0.1, std::numbers::pi / 4);
  for (float& sample : riding) sample += 0.8f;
  EXPECT_GT(expectPeaksAgree(riding), decibels(0.8 + 0.1 / std::sqrt(2.0)));
  std::vector<float> alternating(2000);
  for (std::size_t i = 0; i < alternating.size(); ++i) alternating[i] = (i / 2) % 2 ? -1.0f : 1.0f;
  EXPECT_GT(expectPeaksAgree(alternating), 0.5);
  // A single sample at the first frame, in the middle, and as the last frame, which only the
  // sample peak sees.
  for (std::size_t at : {std::size_t{0}, std::size_t{700}, std::size_t{999}}) {
    std::vector<float> impulse(2000, 0.0f);
    impulse[2 * at] = 0.9f;
    EXPECT_NEAR(expectPeaksAgree(impulse), decibels(0.9), kPeakToleranceDb);
  }
}

// A burst whose samples stay under the loudest sample so far but whose waveform rises above it,
// in quiet blocks that need not be interpolated, and reaching from one block into the next.
TEST(TruePeak, FindsAPeakBetweenSamplesQuieterThanTheLoudestSampleSoFar) {
  std::vector<float> samples = quarterRateTone(3 * loudness::kSampleBlockFrames, 0.1, 0.0);
  const std::vector<float> loud = quarterRateTone(loudness::kSampleBlockFrames, 0.5, 0.0);
  std::copy(loud.begin(), loud.end(), samples.begin());
  const std::vector<float> burst = quarterRateTone(8, 0.6, std::numbers::pi / 4);
  // Across the start of a block and of the stretch after it.
  for (std::size_t start = 2 * loudness::kSampleBlockFrames - 10;
       start < 2 * loudness::kSampleBlockFrames + loudness::kStretchFrames + 2; ++start) {
    SCOPED_TRACE(start);
    std::vector<float> withBurst = samples;
    std::copy(burst.begin(), burst.end(), withBurst.begin() + 2 * start);
    EXPECT_GT(expectPeaksAgree(withBurst), decibels(0.55));
  }
}

TEST(TruePeak, ShortTracksAndSilence) {
  loudness::TruePeakMeter nothing;
  nothing.addFloat(nullptr, 0);
  EXPECT_EQ(nothing.truePeakDbtp(), kSilence);
  EXPECT_EQ(nothing.samplePeak(), 0.0);
  EXPECT_EQ(loudness::truePeakDbtpOfPcm16(nullptr, 3), kSilence);
  EXPECT_EQ(expectPeaksAgree(std::vector<float>(2 * 88200, 0.0f)), kSilence);
  expectPeaksAgree({0.5f, -0.25f});
  expectPeaksAgree({0.5f, -0.25f, -0.5f, 0.25f, 0.5f, -0.25f, -0.5f, 0.25f, 0.5f, 0.0f});
}

// A meter told the ceiling skips what cannot reach it, never what can: above the ceiling its
// figure is the plain meter's to the bit, and a track under it never reads above it.
TEST(TruePeak, MeterToldTheCeilingIsExactAboveItAndStaysUnderItBelow) {
  for (double peakDbfs : {-12.0, -1.2, -0.9, 3.0}) {
    SCOPED_TRACE(peakDbfs);
    const std::vector<float> samples = testing_support::musicLike(6.0, peakDbfs, 11);
    loudness::TruePeakMeter plain;
    loudness::TruePeakMeter told(-1.0);
    plain.addFloat(samples.data(), samples.size() / 2);
    told.addFloat(samples.data(), samples.size() / 2);
    if (plain.truePeakDbtp() > -1.0) {
      EXPECT_EQ(told.truePeakDbtp(), plain.truePeakDbtp());
    } else {
      EXPECT_LE(told.truePeakDbtp(), -1.0);
    }
  }
  // Between the samples only: samples at -3 dB under a 0 dB wave.
  const std::vector<float> tone = quarterRateTone(44100, 1.0, std::numbers::pi / 4);
  loudness::TruePeakMeter told(-1.0);
  told.addFloat(tone.data(), tone.size() / 2);
  EXPECT_NEAR(told.truePeakDbtp(), 0.1, 0.01);
}
