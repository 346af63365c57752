// What a report tells of a track's audio, measured on the buffers the engine already holds:
// loudness, loudness range, peaks, the levels of the engine's bands and a third-octave
// spectrum; and the observer that takes them while the engine works, with its band factors.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/track_observer.h"
#include "loudness/band_levels.h"
#include "loudness/spectrum.h"

namespace loudness {

// Loudness and levels of a track's audio at 44100 Hz stereo. Silence gives -infinity (0 for
// the loudness range).
struct TrackFigures {
  double integratedLufs = 0.0;
  double loudnessRangeLu = 0.0;
  double truePeakDbtp = 0.0;
  double samplePeakDbfs = 0.0;
  StereoBands bands;
  std::optional<ThirdOctaveLevels> spectrum;
};

// Every figure of little-endian 16-bit stereo PCM bytes; a cut last frame is left out. The
// band levels are of the engine's split of these bytes (bandLevelsOfSplit) when withBands,
// else left at 0 for the caller to fill. The bytes are read only.
TrackFigures measureTrack(const std::uint8_t* pcm, std::uint32_t byteCount, bool withBands);

// Watches the engine at work on one track: the figures of the audio as loaded, the band levels
// of the first split (in `before` once the first pass's gains are shown), and the product of
// the passes' band factors. It changes nothing.
class TrackMeasurer final : public engine::TrackObserver {
 public:
  void loaded(const std::uint8_t* samples, std::uint32_t targetLength) override;
  void firstSplitBlock(const std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                       std::uint32_t end) override;
  void passGains(const engine::Gains& gains) override;

  // Seconds of audio at 44100 Hz stereo.
  double seconds = 0.0;
  TrackFigures before;
  int passes = 0;
  // The product of the factors each pass gave each band, in dB: what the engine asked of the
  // band planes before its limiter, not what the bands became.
  StereoBands engineBandFactorsDb;

 private:
  engine::Gains total_;
  BandSquares firstSplit_;
};

}  // namespace loudness
