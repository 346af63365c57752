// The loudness match with its true-peak limiter, on crafted and music-like 16-bit audio in the
// engine's buffer layout, measured by the loudness layer.
#include "batch/loudness_match.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "loudness/decibels.h"
#include "loudness/track_measurement.h"
#include "tests/engine/recording_log.h"
#include "tests/support/music_signal.h"

namespace {

using testing_support::musicLike;
using testing_support::pcm16Bytes;
using testing_support::pcm16Of;

constexpr double kAimedCeilingDbtp = loudness::kAimedTruePeakDbtp;

// The result in front and the two thirds of scratch behind it, as the engine's buffer has them.
struct Matched {
  std::vector<std::uint8_t> buffer;
  std::uint32_t length = 0;
  batch::LoudnessMatch match;
  std::string log;

  loudness::TrackMeasures measures() const { return loudness::measurePcm16(buffer.data(), length); }
  std::vector<std::uint8_t> result() const {
    return {buffer.begin(), buffer.begin() + length};
  }
};

Matched matched(const std::vector<std::uint8_t>& pcm, double targetLufs) {
  Matched out;
  out.length = static_cast<std::uint32_t>(pcm.size());
  out.buffer.assign(3 * pcm.size(), 0);
  std::copy(pcm.begin(), pcm.end(), out.buffer.begin());
  engine_testing::RecordingLog log;
  out.match = batch::matchLoudness(out.buffer.data(), out.length, targetLufs, log);
  out.log = log.text();
  return out;
}

loudness::TrackMeasures measured(const std::vector<std::uint8_t>& pcm) {
  return loudness::measurePcm16(pcm.data(), pcm.size());
}

// Four seconds of a quarter-rate tone whose samples fall halfway between its crests: they read
// 3 dB below the waveform's true peak.
std::vector<std::uint8_t> quarterRateTone(double truePeak) {
  std::vector<float> samples(4 * 44100 * 2);
  for (std::size_t n = 0; n < samples.size() / 2; ++n) {
    const double value = truePeak * std::sin(std::numbers::pi / 2 * n + std::numbers::pi / 4);
    samples[2 * n] = samples[2 * n + 1] = static_cast<float>(value);
  }
  return pcm16Bytes(pcm16Of(samples));
}

// A quiet chord with full-scale clicks of opposite signs side by side, whose waveform overshoots
// between them; one on the first frame, one on the last and one every `spacingSeconds`.
std::vector<std::uint8_t> clicksOverChord(double spacingSeconds) {
  const std::size_t frames = 4 * 44100;
  std::vector<float> samples(frames * 2);
  for (std::size_t n = 0; n < frames; ++n) {
    const double t = n / 44100.0;
    const double chord = 0.02 * (std::sin(2 * std::numbers::pi * 220 * t) +
                                 std::sin(2 * std::numbers::pi * 330 * t));
    samples[2 * n] = samples[2 * n + 1] = static_cast<float>(chord);
  }
  const auto spacing = static_cast<std::size_t>(spacingSeconds * 44100);
  for (std::size_t n = 0; n + 1 < frames; n += spacing) {
    samples[2 * n] = samples[2 * n + 1] = 0.9f;
    samples[2 * n + 2] = samples[2 * n + 3] = -0.9f;
  }
  samples[2 * frames - 4] = samples[2 * frames - 3] = -0.9f;
  samples[2 * frames - 2] = samples[2 * frames - 1] = 0.9f;
  return pcm16Bytes(pcm16Of(samples));
}

// The target that needs the limiter to take `limitingDb` off the highest peak.
double targetNeeding(const std::vector<std::uint8_t>& pcm, double limitingDb) {
  const loudness::TrackMeasures before = measured(pcm);
  return before.integratedLufs + kAimedCeilingDbtp - loudness::decibels(before.truePeak) +
         limitingDb;
}

TEST(LoudnessMatch, LimiterHoldsTheCeilingOnInterSamplePeaks) {
  // A steady tone gains no loudness from limiting and falls short by what is taken off; the
  // clicks sit on the first and the last frames, where the look-ahead starts and ends.
  struct Case {
    const char* name;
    std::vector<std::uint8_t> pcm;
  };
  const Case cases[] = {
      {"quarter-rate tone", quarterRateTone(0.5)},
      {"clicks on the first and last frames", clicksOverChord(0.3)},
      {"clipped master", pcm16Bytes(pcm16Of(musicLike(6.0, 3.0, 7, false)))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const double target = targetNeeding(c.pcm, 3.0);
    const Matched m = matched(c.pcm, target);
    const loudness::TrackMeasures after = m.measures();
    EXPECT_LE(loudness::decibels(after.truePeak), kAimedCeilingDbtp);
    EXPECT_EQ(m.match.truePeakDbtp, loudness::decibels(after.truePeak));
    EXPECT_GE(m.match.limitingDb, 3.0);
    EXPECT_LE(m.match.limitingDb, batch::kMostLimitingDb);
    if (m.match.shortLu > 0.0) {
      EXPECT_DOUBLE_EQ(m.match.shortLu, target - after.integratedLufs);
    } else {
      EXPECT_NEAR(after.integratedLufs, target, 0.05);
    }
    char line[200];
    int length = std::snprintf(line, sizeof line,
                               "Loudness matched to %.1f LUFS: gain %+.2f dB, peaks limited by up "
                               "to %.2f dB",
                               target, m.match.gainDb, m.match.limitingDb);
    if (m.match.shortLu > 0.0) {
      std::snprintf(line + length, sizeof line - length,
                    ", %.2f LU short of the target for a true peak of at most -1.0 dBTP",
                    m.match.shortLu);
    }
    EXPECT_EQ(m.log, std::string(line) + "\n\n");
  }
}

TEST(LoudnessMatch, LimitedAudioKeepsItsPlaceInTime) {
  // Far from the clicks the limiter has let go: each sample is the source's times the gain,
  // in the same frame (no look-ahead delay left in the result).
  const std::vector<std::uint8_t> pcm = clicksOverChord(1.0);
  const Matched m = matched(pcm, targetNeeding(pcm, 5.0));
  const double factor = std::pow(10.0, m.match.gainDb / 20.0);
  std::size_t compared = 0;
  for (std::size_t frame = 0; frame < pcm.size() / 4; ++frame) {
    const std::size_t sinceClick = frame % 44100;
    if (sinceClick < 44100 / 2 || sinceClick > 44100 - 44100 / 10) continue;
    const auto source = static_cast<std::int16_t>(pcm[4 * frame] | (pcm[4 * frame + 1] << 8));
    const auto result =
        static_cast<std::int16_t>(m.buffer[4 * frame] | (m.buffer[4 * frame + 1] << 8));
    ASSERT_NEAR(result, source * factor, 1.0) << "frame " << frame;
    ++compared;
  }
  EXPECT_GT(compared, 44100u);
}

TEST(LoudnessMatch, LoudTrackReachesTheTargetTheSameWayEveryTimeAndStaysOnItWhenMatchedAgain) {
  const std::vector<std::uint8_t> pcm = pcm16Bytes(pcm16Of(musicLike(8.0, 0.0, 3, false)));
  const double target = measured(pcm).integratedLufs + 1.5;
  const Matched first = matched(pcm, target);
  EXPECT_GT(first.match.limitingDb, 1.5);
  EXPECT_EQ(first.match.shortLu, 0.0);
  EXPECT_NEAR(first.measures().integratedLufs, target, 0.05);
  EXPECT_EQ(matched(pcm, target).result(), first.result());

  const Matched again = matched(first.result(), target);
  EXPECT_NEAR(again.measures().integratedLufs, first.measures().integratedLufs, 0.2);
  EXPECT_LE(loudness::decibels(again.measures().truePeak), kAimedCeilingDbtp);
}

TEST(LoudnessMatch, PeaksBeyondTheMostLimitingLeaveTheTrackShortAndSayBy) {
  // Sparse clicks over a quiet chord: the target needs 16 dB off them, the limiter takes 10.
  const std::vector<std::uint8_t> pcm = clicksOverChord(0.5);
  const double target = targetNeeding(pcm, 16.0);
  const Matched m = matched(pcm, target);
  const loudness::TrackMeasures after = m.measures();
  EXPECT_NEAR(m.match.limitingDb, batch::kMostLimitingDb, 0.2);
  EXPECT_LE(loudness::decibels(after.truePeak), kAimedCeilingDbtp);
  EXPECT_DOUBLE_EQ(m.match.shortLu, target - after.integratedLufs);
  EXPECT_GT(m.match.shortLu, 5.0);
  char tail[120];
  std::snprintf(tail, sizeof tail,
                ", %.2f LU short of the target for a true peak of at most -1.0 dBTP\n\n",
                m.match.shortLu);
  EXPECT_TRUE(m.log.ends_with(tail)) << m.log;
}

}  // namespace

namespace {

// Sparse noise hits that decay within a few hundredths of a second, as a drum kit's: each dB
// of limiting gains them little loudness while the limiter recovers over its usual time.
std::vector<std::uint8_t> sparseHits() {
  const std::size_t frames = 6 * 44100;
  std::vector<float> samples(frames * 2);
  std::uint32_t noise = 12345;
  for (std::size_t n = 0; n < frames; ++n) {
    const double sinceHit = std::fmod(n / 44100.0, 0.25);
    noise = noise * 1664525u + 1013904223u;
    const double white = static_cast<double>(noise >> 8) / (1 << 23) - 1.0;
    const auto value = static_cast<float>(0.9 * white * std::exp(-60.0 * sinceHit));
    samples[2 * n] = value;
    samples[2 * n + 1] = 0.9f * value;
  }
  return pcm16Bytes(pcm16Of(samples));
}

}  // namespace

TEST(LoudnessMatch, SparseHitsShortAtTheUsualRecoveryReachTheTargetWithAShorterOne) {
  const std::vector<std::uint8_t> pcm = sparseHits();
  const double target = targetNeeding(pcm, 3.0);
  const Matched m = matched(pcm, target);
  EXPECT_EQ(m.match.shortLu, 0.0);
  EXPECT_GT(m.match.shortReleaseSeconds, 0.0);
  EXPECT_LT(m.match.shortReleaseSeconds, batch::kLimiterReleaseSeconds);
  EXPECT_NEAR(m.measures().integratedLufs, target, 0.05);
  EXPECT_LE(loudness::decibels(m.measures().truePeak), kAimedCeilingDbtp);
  char recovery[40];
  std::snprintf(recovery, sizeof recovery, ", recovering in %.0f ms\n\n",
                m.match.shortReleaseSeconds * 1000.0);
  EXPECT_TRUE(m.log.ends_with(recovery)) << m.log;
}
