// The meters' working copy of the audio: a block of interleaved stereo frames as floats (full
// scale 1.0), with the last frames of the block before kept in front of it, where the
// true-peak interpolator reaches back to.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace loudness {

// Every meter of this layer takes two interleaved channels at 44100 Hz.
inline constexpr std::size_t kChannels = 2;
inline constexpr double kSampleRateHz = 44100.0;
// Little-endian 16-bit stereo: two samples of two bytes.
inline constexpr std::size_t kPcm16FrameBytes = 4;
// 16-bit samples times this are exact in single precision: -32768 is full scale.
inline constexpr float kPcm16Scale = 1.0f / 32768.0f;
// The interpolator's newest-to-oldest reach is 12 frames: the frame itself and 11 before it.
inline constexpr std::size_t kHistoryFrames = 11;
// Frames converted at a time: the block and the meters' work on it stay in the first-level
// cache, and a block whose peak is too low to matter is skipped whole by the true-peak meter.
inline constexpr std::size_t kSampleBlockFrames = 512;
// A block's peak is also kept for each stretch of this many frames, a few periods of the highest
// notes: where a block cannot be skipped whole, the quiet parts of most waves still can be.
inline constexpr std::size_t kStretchFrames = 32;
inline constexpr std::size_t kBlockStretches = kSampleBlockFrames / kStretchFrames;
static_assert(kStretchFrames >= kHistoryFrames, "a stretch's history lies in the one before");

// The largest magnitude of `frames` frames of little-endian 16-bit stereo samples (at any byte
// address), at full scale 1.0: the sample peak the blocks of these bytes would give.
float pcm16SamplePeak(const std::uint8_t* bytes, std::size_t frames);
// The largest magnitude, at full scale 1.0, of each stretch of kStretchFrames frames (the last
// may be shorter) of `frames` frames of little-endian 16-bit stereo samples, to peaks[k].
void pcm16StretchPeaks(const std::uint8_t* bytes, std::size_t frames, float* peaks);
// Converts `samples` little-endian 16-bit samples (at any byte address) to out, at full scale
// 1.0, as the blocks hold them.
void pcm16ToFloat(const std::uint8_t* bytes, std::size_t samples, float* out);

class SampleBlock {
 public:
  // Replaces the block by the next `frames` frames (1 to kSampleBlockFrames) of the audio; the
  // kHistoryFrames frames before them (zeros before the first) stay readable in front.
  void loadPcm16(const std::uint8_t* bytes, std::size_t frames);
  void loadFloat(const float* samples, std::size_t frames);
  // Loads any number of frames a block at a time, calling measure(*this) after each.
  template <typename Measure>
  void walkPcm16(const std::uint8_t* bytes, std::size_t frames, Measure&& measure) {
    for (std::size_t done = 0; done < frames; done += kSampleBlockFrames) {
      loadPcm16(bytes + done * kPcm16FrameBytes, std::min(kSampleBlockFrames, frames - done));
      measure(*this);
    }
  }
  template <typename Measure>
  void walkFloat(const float* samples, std::size_t frames, Measure&& measure) {
    for (std::size_t done = 0; done < frames; done += kSampleBlockFrames) {
      loadFloat(samples + done * kChannels, std::min(kSampleBlockFrames, frames - done));
      measure(*this);
    }
  }

  // The block's samples, interleaved; samples()[-2 * kHistoryFrames] is the oldest readable.
  const float* samples() const { return buffer_.data() + kHistoryFrames * kChannels; }
  std::size_t frames() const { return frames_; }
  // The largest magnitude of the block's samples.
  float peak() const { return peak_; }
  // The largest magnitude of the block's samples and of the history in front of them.
  float reachPeak() const { return reachPeak_; }
  // At least the largest magnitude of stretch k's samples (frames from k * kStretchFrames) and of
  // the kHistoryFrames frames in front of them.
  float stretchReachPeak(std::size_t k) const {
    return std::max(stretchPeaks_[k], k == 0 ? historyPeak_ : stretchPeaks_[k - 1]);
  }

 private:
  float* startBlock(std::size_t frames);
  // Sets the block's peaks from stretchPeaks_.
  void finishBlock();

  std::vector<float> buffer_;
  std::size_t frames_ = 0;
  float peak_ = 0.0f;
  float reachPeak_ = 0.0f;
  float historyPeak_ = 0.0f;
  float stretchPeaks_[kBlockStretches] = {};
};

}  // namespace loudness
