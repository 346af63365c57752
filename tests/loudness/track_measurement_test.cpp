#include "loudness/track_measurement.h"

#include <gtest/gtest.h>

#include "tests/support/music_signal.h"

using testing_support::musicLike;
using testing_support::pcm16Bytes;
using testing_support::pcm16Of;

// Pieces of every size around the meters' own blocks and 100 ms segments; the audio is hot, so
// peaks between the samples lie across the joins.
TEST(TrackMeasurement, SameFiguresWhateverPiecesTheAudioComesInAndFromEitherMeterAlone) {
  const std::vector<float> samples = musicLike(4.0, 6.0, 5);
  const std::vector<std::uint8_t> bytes = pcm16Bytes(pcm16Of(samples));
  const std::size_t frames = samples.size() / 2;

  loudness::TruePeakMeter peaks;
  peaks.addFloat(samples.data(), frames);
  loudness::LoudnessMeter loudness;
  loudness.addFloat(samples.data(), frames);
  loudness::TruePeakMeter peaks16;
  peaks16.addPcm16(bytes.data(), frames);
  loudness::LoudnessMeter loudness16;
  loudness16.addPcm16(bytes.data(), frames);

  loudness::TrackMeter whole;
  whole.addFloat(samples.data(), frames);
  loudness::TrackMeter pieces;
  loudness::TrackMeter pieces16;
  const std::size_t sizes[] = {
      1,    7,    loudness::kSampleBlockFrames - 1, loudness::kSampleBlockFrames + 1,
      4409, 4411, 3 * loudness::kSampleBlockFrames};
  for (std::size_t done = 0, i = 0; done < frames; ++i) {
    const std::size_t count = std::min(sizes[i % std::size(sizes)], frames - done);
    pieces.addFloat(samples.data() + 2 * done, count);
    pieces16.addPcm16(bytes.data() + 4 * done, count);
    done += count;
  }

  for (const loudness::TrackMeter* meter : {&whole, &pieces}) {
    EXPECT_EQ(meter->measures().truePeak, peaks.truePeak());
    EXPECT_EQ(meter->measures().samplePeak, peaks.samplePeak());
    EXPECT_NEAR(meter->measures().integratedLufs, loudness.integratedLufs(), 1e-9);
  }
  EXPECT_GT(peaks.truePeak(), peaks.samplePeak());
  std::vector<std::uint8_t> cut = bytes;
  cut.insert(cut.end(), {1, 2, 3});
  const loudness::TrackMeasures all16 = loudness::measurePcm16(cut.data(), cut.size());
  for (const loudness::TrackMeasures& measures : {pieces16.measures(), all16}) {
    EXPECT_EQ(measures.truePeak, peaks16.truePeak());
    EXPECT_EQ(measures.samplePeak, peaks16.samplePeak());
    EXPECT_NEAR(measures.integratedLufs, loudness16.integratedLufs(), 1e-9);
  }
}

// The peaks read ahead of a whole buffer, which let the true-peak meter skip from the start, are
// the meter's own: at an odd address, with full scale negative in a whole stretch (folded in
// the vector) and in the uneven tail.
TEST(TrackMeasurement, PeaksReadAheadAreTheMetersOwn) {
  std::vector<std::uint8_t> bytes(1 + 4 * 13);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 37);
  loudness::TruePeakMeter meter;
  meter.addPcm16(bytes.data() + 1, 13);
  EXPECT_EQ(loudness::pcm16SamplePeak(bytes.data() + 1, 13), meter.samplePeak());
  bytes[bytes.size() - 2] = 0x00;
  bytes[bytes.size() - 1] = 0x80;
  EXPECT_EQ(loudness::pcm16SamplePeak(bytes.data() + 1, 13), 1.0f);

  constexpr std::size_t kFrames = 3 * loudness::kStretchFrames + 5;
  std::vector<std::uint8_t> stretches(1 + 4 * kFrames);
  for (std::size_t i = 0; i < stretches.size(); ++i) {
    stretches[i] = static_cast<std::uint8_t>(i * 53 % 61);
  }
  for (const std::size_t sample : {2 * (loudness::kStretchFrames + 7) + 1, 2 * (kFrames - 1)}) {
    stretches[1 + 2 * sample] = 0x00;
    stretches[2 + 2 * sample] = 0x80;
  }
  float peaks[4];
  loudness::pcm16StretchPeaks(stretches.data() + 1, kFrames, peaks);
  for (std::size_t k = 0; k < 4; ++k) {
    const std::size_t first = k * loudness::kStretchFrames;
    EXPECT_EQ(peaks[k],
              loudness::pcm16SamplePeak(stretches.data() + 1 + 4 * first,
                                        std::min(loudness::kStretchFrames, kFrames - first)));
  }
  EXPECT_EQ(peaks[1], 1.0f);
  EXPECT_EQ(peaks[3], 1.0f);
  EXPECT_LT(peaks[0], 1.0f);
}
