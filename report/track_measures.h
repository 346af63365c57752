// The figures of one track for its report, measured on the buffers the engine already holds:
// loudness and peaks through libebur128, band levels from the engine's own band split, and
// the gains the passes applied.
#pragma once

#include <cstdint>

#include "engine/track_observer.h"
#include "report/job_report.h"

namespace report {

// Integrated loudness, loudness range, true peak and sample peak of little-endian 16-bit
// stereo 44100 Hz PCM bytes. Band levels are left at 0.
TrackFigures loudnessFigures(const std::uint8_t* pcm, std::uint32_t byteCount);

// RMS levels in dBFS of the band planes a split leaves in samples: the middle band in [0, T),
// the low band in [T, 2T), the high band in [2T, 3T).
StereoBands bandLevelsOfPlanes(const std::uint8_t* samples, std::uint32_t targetLength);

// The band levels of the result in [0, T), split as the engine splits a track. The split works
// in place: [0, 3T) is overwritten, so it comes after everything else that reads the result.
StereoBands bandLevelsOfResult(std::uint8_t* samples, std::uint32_t targetLength);

// Watches the engine at work on one track: the figures before the passes, the band levels of
// the first split, the gains over all passes.
class TrackMeasurer final : public engine::TrackObserver {
 public:
  void loaded(const std::uint8_t* samples, std::uint32_t targetLength) override;
  void firstSplit(const std::uint8_t* samples, std::uint32_t targetLength) override;
  void passGains(const engine::Gains& gains) override;

  // Seconds of audio at 44100 Hz stereo.
  double seconds = 0.0;
  TrackFigures before;
  int passes = 0;
  // The product of the passes' gains of each band, in dB.
  StereoBands gainsDb;

 private:
  engine::Gains total_;
};

}  // namespace report
