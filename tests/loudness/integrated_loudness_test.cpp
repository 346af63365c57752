#include "loudness/integrated_loudness.h"

#include <gtest/gtest.h>

#include <deque>
#include <limits>

#include "tests/support/level_expectations.h"
#include "tests/support/music_signal.h"
#include "tests/support/reference_meter.h"

using testing_support::expectSameLevel;
using testing_support::kLoudnessToleranceLu;
using testing_support::pcm16Bytes;
using testing_support::pcm16Of;
using testing_support::quarterRateTone;
using testing_support::ReferenceMeter;

namespace {

constexpr double kSilence = -std::numeric_limits<double>::infinity();
// 400 ms, the length of one gating block.
constexpr std::size_t kGatingBlockFrames = 17640;

// Our integrated loudness of the audio, as floats and as 16-bit bytes, against libebur128's
// of the same samples without its histogram. Returns ours of the floats.
double expectLoudnessAgrees(const std::vector<float>& samples) {
  ReferenceMeter reference(EBUR128_MODE_I);
  reference.add(samples);
  loudness::LoudnessMeter meter;
  meter.addFloat(samples.data(), samples.size() / 2);
  expectSameLevel(meter.integratedLufs(), reference.integratedLufs(), kLoudnessToleranceLu);

  const std::vector<std::int16_t> values = pcm16Of(samples);
  ReferenceMeter reference16(EBUR128_MODE_I);
  reference16.add(values);
  const std::vector<std::uint8_t> bytes = pcm16Bytes(values);
  loudness::LoudnessMeter meter16;
  meter16.addPcm16(bytes.data(), values.size() / 2);
  expectSameLevel(meter16.integratedLufs(), reference16.integratedLufs(), kLoudnessToleranceLu);
  return meter.integratedLufs();
}

}  // namespace

// At -50 dBFS the twentieth-level sections fall under the absolute gate; louder, under the
// relative one.
TEST(IntegratedLoudness, AgreesWithLibebur128OnMusicAtEveryLevelClippedOrNot) {
  double previous = kSilence;
  for (double peakDbfs : {-50.0, -20.0, -1.0, 6.0}) {
    SCOPED_TRACE(peakDbfs);
    const double lufs = expectLoudnessAgrees(testing_support::musicLike(20.0, peakDbfs, 3));
    EXPECT_GT(lufs, previous);
    previous = lufs;
  }
}

TEST(IntegratedLoudness, ShortTracksSilenceAndTheBlockBoundaries) {
  for (std::size_t frames : {std::size_t{0}, std::size_t{5}, kGatingBlockFrames - 1}) {
    EXPECT_EQ(expectLoudnessAgrees(quarterRateTone(frames, 0.5, 1.0)), kSilence);
  }
  const double oneBlock = expectLoudnessAgrees(quarterRateTone(kGatingBlockFrames, 0.5, 1.0));
  EXPECT_NE(oneBlock, kSilence);
  // Frames short of the next 100 ms count for nothing.
  EXPECT_EQ(expectLoudnessAgrees(quarterRateTone(kGatingBlockFrames + 4409, 0.5, 1.0)), oneBlock);
  expectLoudnessAgrees(quarterRateTone(kGatingBlockFrames + 4410, 0.5, 1.0));
  EXPECT_EQ(expectLoudnessAgrees(std::vector<float>(2 * 3 * 44100, 0.0f)), kSilence);
  // Around -80 LUFS: under the absolute gate.
  EXPECT_EQ(expectLoudnessAgrees(quarterRateTone(44100, 0.0001, 1.0)), kSilence);
}

TEST(IntegratedLoudness, AlbumOfSeveralTracksAgreesWithLibebur128) {
  std::deque<ReferenceMeter> references;
  std::vector<loudness::LoudnessMeter> meters(3);
  std::vector<ebur128_state*> states;
  std::vector<const loudness::LoudnessMeter*> ours;
  for (std::size_t track = 0; track < 3; ++track) {
    const std::vector<float> samples =
        testing_support::musicLike(6.0 + 2.0 * track, -30.0 + 12.0 * track, 11 + track);
    references.emplace_back(EBUR128_MODE_I).add(samples);
    meters[track].addFloat(samples.data(), samples.size() / 2);
    states.push_back(references.back().state());
    ours.push_back(&meters[track]);
  }
  double album = 0.0;
  ASSERT_EQ(ebur128_loudness_global_multiple(states.data(), states.size(), &album),
            EBUR128_SUCCESS);
  ours.push_back(nullptr);
  EXPECT_NEAR(loudness::programmeLoudnessLufs(ours), album, kLoudnessToleranceLu);
  EXPECT_EQ(loudness::programmeLoudnessLufs({}), kSilence);
}
