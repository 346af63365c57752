// The middle band's record of a pass without its serial walk: the peaks are the extremes of the
// band, gathered many values to an instruction, and the quasi-peaks, which only the end of a
// pass shows, are proven from the pass's last stretch.
#pragma once

#include <array>
#include <cstdint>

#include "engine/band_peaks.h"

namespace engine {

// The middle band's peaks move only with their own extremes, and whether a value moves a
// quasi-peak hangs on the peaks alone, so the quasi-peaks are all the walk must follow. Each
// step q ↦ trunc(v / 2) + trunc(q / 2) is monotone in q: when the walks of a last stretch from
// the lowest and the highest quasi-peak meet, every walk between them ends there too, the one
// from the start of the pass included. The stretches tried grow from the end up to an eighth
// of the pass; a pass that proves none is walked from its start.
class MiddleBandScan {
 public:
  // For a walk over the frames of [0, walkEnd) in blocks of kBlockBytes from 0.
  explicit MiddleBandScan(std::uint32_t walkEnd);

  // The next block of the walk, in order, from the middle band plane.
  void recordBlock(const std::uint8_t* plane, std::uint32_t begin, std::uint32_t end);

  // The middle band records of both channels, once every block is recorded; the plane must
  // still hold the pass's middle band.
  void finish(const std::uint8_t* plane, ScanRecord& record) const;

 private:
  // The largest and smallest values before a frame offset, left then right.
  struct Extremes {
    std::int16_t maximum[2];
    std::int16_t minimum[2];
  };
  struct StretchStart {
    std::uint32_t offset;
    Extremes before;
  };
  static constexpr int kMaxStretches = 24;

  Extremes extremesSoFar() const;

  std::uint32_t walkEnd_;
  // Where the tried stretches start, the shortest last; those the walk has reached hold the
  // extremes before them.
  std::array<StretchStart, kMaxStretches> starts_{};
  int stretchCount_ = 0;
  int nextStart_ = 0;
  // Running extremes up to the last stretch start, lanes alternating left and right.
  alignas(16) std::int16_t maximum_[8] = {};
  alignas(16) std::int16_t minimum_[8] = {};
};

}  // namespace engine
