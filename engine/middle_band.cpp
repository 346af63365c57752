#include "engine/middle_band.h"

#include <algorithm>

#include "engine/band_filters.h"
#include "engine/pcm_access.h"
#include "engine/simd.h"

namespace engine {

namespace {

// The shortest stretch tried, in blocks; each next one is twice as long. Music moves the
// quasi-peaks many times a second, and some twenty moves prove them.
constexpr std::uint32_t kFirstStretchBlocks = 16;
// The longest stretch tried is at most this share of the pass: a pass that proves nothing, whose
// end has too few values beyond its half peaks, then costs at most half a walk more than the
// one walk from its start.
constexpr std::uint32_t kLongestStretchShare = 8;

// The quasi-peaks stay within these: a maximum moves only at a value of at least 1, a minimum
// only at one of at most −1.
constexpr std::int16_t kLowestQuasiPeakMax = 0;
constexpr std::int16_t kHighestQuasiPeakMax = 32767;
constexpr std::int16_t kLowestQuasiPeakMin = -32768;
constexpr std::int16_t kHighestQuasiPeakMin = 0;

}  // namespace

MiddleBandScan::MiddleBandScan(std::uint32_t walkEnd) : walkEnd_(walkEnd) {
  // Longest first, so that the walk reaches them in order.
  std::array<std::uint32_t, kMaxStretches> offsets{};
  int count = 0;
  for (std::uint64_t blocks = kFirstStretchBlocks;
       count < kMaxStretches && blocks * kBlockBytes <= walkEnd / kLongestStretchShare;
       blocks *= 2) {
    offsets[count++] = static_cast<std::uint32_t>((walkEnd - blocks * kBlockBytes) / kBlockBytes *
                                                  kBlockBytes);
  }
  for (int index = 0; index < count; ++index) starts_[index].offset = offsets[count - 1 - index];
  stretchCount_ = count;
}

MiddleBandScan::Extremes MiddleBandScan::extremesSoFar() const {
  Extremes extremes{};
  for (int lane = 0; lane < 8; ++lane) {
    const int channel = lane % 2;
    extremes.maximum[channel] = std::max(extremes.maximum[channel], maximum_[lane]);
    extremes.minimum[channel] = std::min(extremes.minimum[channel], minimum_[lane]);
  }
  return extremes;
}

void MiddleBandScan::recordBlock(const std::uint8_t* plane, std::uint32_t begin,
                                 std::uint32_t end) {
  if (nextStart_ < stretchCount_ && starts_[nextStart_].offset == begin) {
    starts_[nextStart_++].before = extremesSoFar();
  }
  // Only the stretch starts read the extremes; the walks over the stretches find the rest.
  if (nextStart_ == stretchCount_) return;
  std::uint32_t k = begin;
#if defined(SONBALANCER_SSE2)
  constexpr std::uint32_t kGroupBytes = 16;
  __m128i maximum = _mm_load_si128(reinterpret_cast<const __m128i*>(maximum_));
  __m128i minimum = _mm_load_si128(reinterpret_cast<const __m128i*>(minimum_));
  for (; end - k >= kGroupBytes; k += kGroupBytes) {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane + k));
    maximum = _mm_max_epi16(maximum, values);
    minimum = _mm_min_epi16(minimum, values);
  }
  _mm_store_si128(reinterpret_cast<__m128i*>(maximum_), maximum);
  _mm_store_si128(reinterpret_cast<__m128i*>(minimum_), minimum);
#endif
  for (; k < end; k += kFrameBytes) {
    for (std::uint32_t channel = 0; channel < 2; ++channel) {
      const std::int16_t value = loadSample(plane + k + channel * kRightOffset);
      maximum_[channel] = std::max(maximum_[channel], value);
      minimum_[channel] = std::min(minimum_[channel], value);
    }
  }
}

void MiddleBandScan::finish(const std::uint8_t* plane, ScanRecord& record) const {
  BandPeaks* const bands[2] = {&record.left.middle, &record.right.middle};
  for (std::uint32_t channel = 0; channel < 2; ++channel) {
    BandPeaks& band = *bands[channel];
    const std::uint8_t* const values = plane + channel * kRightOffset;
    bool proven = false;
    for (int index = nextStart_ - 1; index >= 0 && !proven; --index) {
      const StretchStart& start = starts_[index];
      const std::int16_t peakMax = std::max(band.peakMax, start.before.maximum[channel]);
      const std::int16_t peakMin = std::min(band.peakMin, start.before.minimum[channel]);
      BandPeaks lowest{peakMax, peakMin, kLowestQuasiPeakMax, kLowestQuasiPeakMin};
      BandPeaks highest{peakMax, peakMin, kHighestQuasiPeakMax, kHighestQuasiPeakMin};
      recordMiddleRange(values, start.offset, walkEnd_, lowest);
      recordMiddleRange(values, start.offset, walkEnd_, highest);
      proven = lowest.quasiPeakMax == highest.quasiPeakMax &&
               lowest.quasiPeakMin == highest.quasiPeakMin;
      if (proven) band = lowest;
    }
    if (!proven) recordMiddleRange(values, 0, walkEnd_, band);
  }
}

}  // namespace engine
