// libebur128's figures of the same audio, which the loudness layer's tests and benchmark hold
// its meters to. Two interleaved channels at 44100 Hz.
#pragma once

#include <ebur128.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace testing_support {

class ReferenceMeter {
 public:
  // `mode`: libebur128's EBUR128_MODE_* flags.
  explicit ReferenceMeter(int mode) : state_(ebur128_init(2, 44100, mode)) {}
  ~ReferenceMeter() { ebur128_destroy(&state_); }
  ReferenceMeter(const ReferenceMeter&) = delete;
  ReferenceMeter& operator=(const ReferenceMeter&) = delete;

  void add(const std::int16_t* samples, std::size_t frames) {
    ebur128_add_frames_short(state_, samples, frames);
  }
  void add(const float* samples, std::size_t frames) {
    ebur128_add_frames_float(state_, samples, frames);
  }
  template <typename Sample>
  void add(const std::vector<Sample>& samples) {
    add(samples.data(), samples.size() / 2);
  }

  // The larger of both channels, at full scale 1.0.
  double truePeak() const { return largest(ebur128_true_peak); }
  double samplePeak() const { return largest(ebur128_sample_peak); }
  double integratedLufs() const {
    double lufs = std::numeric_limits<double>::quiet_NaN();
    ebur128_loudness_global(state_, &lufs);
    return lufs;
  }
  ebur128_state* state() const { return state_; }

 private:
  double largest(int (*peakOf)(ebur128_state*, unsigned, double*)) const {
    double peak = 0.0;
    for (unsigned channel = 0; channel < 2; ++channel) {
      double channelPeak = 0.0;
      if (peakOf(state_, channel, &channelPeak) != EBUR128_SUCCESS) {
        return std::numeric_limits<double>::quiet_NaN();
      }
      peak = std::max(peak, channelPeak);
    }
    return peak;
  }

  ebur128_state* state_;
};

}  // namespace testing_support
