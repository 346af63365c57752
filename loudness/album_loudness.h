// The loudness of a decoded MP3 kept for its album: libebur128's histogram gives the loudness
// of several tracks as one programme in a fixed, small memory per track. Its true peak comes
// from our own meter.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "loudness/true_peak.h"

namespace loudness {

// libebur128's state, whose C type cannot be declared ahead.
struct HistogramState;

// Feeds two interleaved channels at 44100 Hz (full scale 1.0).
class AlbumMeter {
 public:
  AlbumMeter();
  ~AlbumMeter();
  AlbumMeter(const AlbumMeter&) = delete;
  AlbumMeter& operator=(const AlbumMeter&) = delete;

  // False when libebur128 could not be set up; the meter then measures nothing.
  bool ready() const;
  void addFloat(const float* samples, std::size_t frames);
  // In LUFS; -infinity for silence or when nothing was measured.
  double integratedLufs() const;
  // In dBTP; -infinity when nothing was measured.
  double truePeakDbtp() const { return peaks_.truePeakDbtp(); }

 private:
  friend double albumLoudnessLufs(const std::vector<const AlbumMeter*>& meters);
  std::unique_ptr<HistogramState> state_;
  TruePeakMeter peaks_;
};

// The integrated loudness in LUFS of the audio of all meters as one programme; -infinity when
// there is none, or it is silent. Null meters and meters that are not ready are left out.
double albumLoudnessLufs(const std::vector<const AlbumMeter*>& meters);

}  // namespace loudness
