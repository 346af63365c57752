// The look-ahead digital peak limiter of Debian's x42-plugins (its LV2 plugin "dpl", stereo, in
// true-peak mode), hosted offline through lilv: blocks of two channels in, the same delayed by
// the plugin's look-ahead out.
#pragma once

#include <cstddef>
#include <memory>

namespace platform {

// Where Debian installs the plugin's bundle.
inline constexpr const char* kPeakLimiterBundle = "/usr/lib/lv2/dpl.lv2/";

class PeakLimiterPlugin {
 public:
  // Frames the plugin is run on at a time; inputs and outputs hold this many per channel.
  static constexpr std::size_t kBlockFrames = 1024;

  // A limiter at 44100 Hz that holds the oversampled peaks of its output to thresholdDb
  // (-10 to 0 dBFS), recovering over releaseSeconds (0.001 to 1). Null when the plugin is not
  // installed or cannot be started. Safe to call from several threads.
  static std::unique_ptr<PeakLimiterPlugin> open(double thresholdDb, double releaseSeconds);
  ~PeakLimiterPlugin();
  PeakLimiterPlugin(const PeakLimiterPlugin&) = delete;
  PeakLimiterPlugin& operator=(const PeakLimiterPlugin&) = delete;

  // The buffers of channel 0 (left) and 1 (right), full scale 1.0.
  float* input(int channel) { return input_[channel]; }
  const float* output(int channel) const { return output_[channel]; }
  // Limits the first `frames` (1 to kBlockFrames) of both inputs into the outputs. The output
  // is the input of latencyFrames() frames earlier (silence before the first).
  void run(std::size_t frames);
  // The look-ahead in frames, known once run has been called; constant for the instance.
  std::size_t latencyFrames() const;

 private:
  struct Host;
  explicit PeakLimiterPlugin(std::unique_ptr<Host> host);

  std::unique_ptr<Host> host_;
  float input_[2][kBlockFrames] = {};
  float output_[2][kBlockFrames] = {};
};

}  // namespace platform
