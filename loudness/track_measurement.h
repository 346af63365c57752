// Every figure of this layer from one pass over a track's audio: each block is converted once
// and measured for its peaks and its loudness while it is in the cache.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loudness/integrated_loudness.h"
#include "loudness/sample_block.h"
#include "loudness/true_peak.h"

namespace loudness {

// Peaks at full scale 1.0 (decibels() gives dBFS and dBTP); loudness in LUFS, -infinity for
// silence or less than 400 ms of audio.
struct TrackMeasures {
  double samplePeak = 0.0;
  double truePeak = 0.0;
  double integratedLufs = 0.0;
};

// Feeds two interleaved channels at 44100 Hz in pieces of any size, as one stream, to both
// meters; their figures equal those of each meter fed alone.
class TrackMeter {
 public:
  // `frames` frames of little-endian 16-bit samples (4 bytes a frame) at any byte address.
  void addPcm16(const std::uint8_t* bytes, std::size_t frames);
  // `frames` frames of samples whose full scale is 1.0.
  void addFloat(const float* samples, std::size_t frames);
  // A whole track, for a meter fed nothing before and nothing after, as the meters'
  // addWholePcm16 take it.
  void addWholePcm16(const std::uint8_t* bytes, std::size_t frames);

  TrackMeasures measures() const;
  const TruePeakMeter& peaks() const { return peaks_; }
  // Kept for the loudness of several tracks as one programme (programmeLoudnessLufs).
  const LoudnessMeter& loudness() const { return loudness_; }

 private:
  void add(const SampleBlock& block);

  SampleBlock block_;
  TruePeakMeter peaks_;
  LoudnessMeter loudness_;
};

// The figures of little-endian 16-bit stereo PCM bytes; a cut last frame is left out.
TrackMeasures measurePcm16(const std::uint8_t* bytes, std::size_t byteCount);

}  // namespace loudness
