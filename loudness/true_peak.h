// The true peak of 44100 Hz stereo audio: the largest magnitude of either channel after fourfold
// oversampling by the 49-tap Hann-windowed sinc interpolator that libebur128 1.2.6 uses, so
// that its figure and ours agree; and the sample peak beside it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "loudness/sample_block.h"

namespace loudness {

// Feeds two interleaved channels in pieces of any size; the figures are those of everything fed
// so far as one stream. Like libebur128 it starts from silence before the first frame and
// interpolates nothing past the last one.
class TruePeakMeter {
 public:
  TruePeakMeter() = default;
  // A meter asked only whether the true peak is above ceilingDbtp, and by how much when it is:
  // blocks that cannot reach the ceiling are not interpolated. Its true peak is then exact when
  // above the ceiling, and otherwise somewhere from the sample peak up to the ceiling.
  explicit TruePeakMeter(double ceilingDbtp);

  // `frames` frames of little-endian 16-bit samples (4 bytes a frame) at any byte address;
  // -32768 is full scale.
  void addPcm16(const std::uint8_t* bytes, std::size_t frames);
  // A whole track as addPcm16 takes it, for a meter fed nothing before and nothing after: its
  // sample peak is read ahead, so that from the first block on the stretches that cannot reach
  // above it are skipped instead of the peak being learnt as it goes. The figures are
  // addPcm16's.
  void addWholePcm16(const std::uint8_t* bytes, std::size_t frames);
  // The same, the track's sample peak (full scale 1.0) being known already.
  void addWholePcm16(const std::uint8_t* bytes, std::size_t frames, float samplePeak);
  // `frames` frames of samples whose full scale is 1.0.
  void addFloat(const float* samples, std::size_t frames);

  // The largest magnitude of either channel, samples and interpolated values, at full scale 1.0
  // (above 1.0 where the waveform overshoots); 0 when nothing or only silence was fed.
  double truePeak() const { return truePeak_; }
  // The largest magnitude of the samples themselves, at full scale 1.0.
  double samplePeak() const { return samplePeak_; }
  // The true peak in dBTP; -infinity when nothing or only silence was fed.
  double truePeakDbtp() const;

 private:
  friend class TrackMeter;
  // Measures the block, whose history must be the frames this meter saw before it.
  void add(const SampleBlock& block);
  // Whether no value reaching `reached` can raise the figures asked for.
  bool cannotExceed(double reached) const { return reached <= std::max(truePeak_, floor_); }
  // Interpolates the channels of a stretch of at most kStretchFrames frames from `first`, with
  // kHistoryFrames frames readable before it, whose range could reach.
  void addStretch(const float* first, std::size_t frames);

  SampleBlock block_;
  float truePeak_ = 0.0f;
  float samplePeak_ = 0.0f;
  // Blocks that cannot reach above this (full scale 1.0) are not interpolated.
  float floor_ = 0.0f;
};

// The true peak in dBTP of little-endian 16-bit stereo PCM bytes; a cut last frame is left out.
double truePeakDbtpOfPcm16(const std::uint8_t* bytes, std::size_t byteCount);

}  // namespace loudness
