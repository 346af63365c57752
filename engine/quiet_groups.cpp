#include "engine/quiet_groups.h"

#include "engine/simd.h"

namespace engine {

namespace {

#if defined(SONBALANCER_SSE2)

// Most frames of music change nothing in the low and high bands' records but the low band's
// peaks: the high band lies within its quasi-peaks, the low band within 999 of its
// quasi-peaks. Such quiet groups of four frames are recognised eight values to an instruction
// and skipped; a group holding any other value is recorded value by value.
//
// A quiet group provably leaves those records as they were. Every bound below can only widen
// as a pass goes on, so a value within the bounds at the start of a group stays within the
// moving bounds of every rule inside it:
// - high band within its quasi-peaks: neither step counter moves, and the peaks lie outside
//   the quasi-peaks (a quasi-peak moves only at a value beyond it, which has just moved the
//   peak at least as far), so they stay too. When clicks are ignored the peaks lag behind
//   the quasi-peaks and the click runs keep most groups busy, so the high band is then
//   recorded value by value throughout;
// - low band less than 1000 beyond its quasi-peaks: the thousandth of the excess truncates
//   to 0. Its peaks are the one thing a quiet group moves; as no rule reads them, they are
//   gathered apart from the record as running maxima and minima of the groups.
struct QuietBounds {
  __m128i lowAbove;
  __m128i lowBelow;
  __m128i highAbove;
  __m128i highBelow;
};

// A left and a right 16-bit value in every frame's place of a group.
inline __m128i channelPair(int left, int right) {
  return _mm_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(right) << 16) |
                                         (static_cast<std::uint32_t>(left) & 0xFFFF)));
}

// The largest quiet value and the smallest of each band of one channel.
struct ChannelBounds {
  int lowAbove, lowBelow, highAbove, highBelow;
};

template <bool kIgnoreClicks>
ChannelBounds channelBounds(const ChannelScan& scan) {
  // Held within 16 bits; no value lies beyond them anyway.
  ChannelBounds bounds{std::min(scan.low.quasiPeakMax + (kLowQuasiPeakDivisor - 1), 32767),
                       std::max(scan.low.quasiPeakMin - (kLowQuasiPeakDivisor - 1), -32768),
                       scan.high.quasiPeakMax, scan.high.quasiPeakMin};
  if constexpr (kIgnoreClicks) {
    // Every high band value lies within ±32766, so none is busy.
    bounds.highAbove = 32767;
    bounds.highBelow = -32768;
  }
  return bounds;
}

template <bool kIgnoreClicks>
QuietBounds quietBounds(const ScanRecord& record) {
  const ChannelBounds left = channelBounds<kIgnoreClicks>(record.left);
  const ChannelBounds right = channelBounds<kIgnoreClicks>(record.right);
  return {channelPair(left.lowAbove, right.lowAbove), channelPair(left.lowBelow, right.lowBelow),
          channelPair(left.highAbove, right.highAbove),
          channelPair(left.highBelow, right.highBelow)};
}

inline __m128i loadExtremes(const std::int16_t (&lanes)[8]) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes));
}

inline void storeExtremes(std::int16_t (&lanes)[8], __m128i values) {
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), values);
}

constexpr std::uint32_t kGroupBytes = 16;

inline __m128i loadGroup(const std::uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

template <bool kIgnoreClicks>
void recordLowAndHighBands(const std::uint8_t* lowPlane, const std::uint8_t* highPlane,
                           std::uint32_t begin, std::uint32_t end, ScanRecord& record,
                           HighBandCounters (&counters)[2], LowBandExtremes& lowExtremes) {
  if constexpr (kIgnoreClicks) {
    recordHighRange<true>(highPlane, begin, end, record.left.high, counters[0]);
    recordHighRange<true>(highPlane + kRightOffset, begin, end, record.right.high, counters[1]);
  }
  QuietBounds bounds = quietBounds<kIgnoreClicks>(record);
  __m128i lowMaximum = loadExtremes(lowExtremes.maximum);
  __m128i lowMinimum = loadExtremes(lowExtremes.minimum);
  std::uint32_t k = begin;
  for (; end - k >= kGroupBytes; k += kGroupBytes) {
    const __m128i low = loadGroup(lowPlane + k);
    const __m128i high = loadGroup(highPlane + k);
    lowMaximum = _mm_max_epi16(lowMaximum, low);
    lowMinimum = _mm_min_epi16(lowMinimum, low);
    const __m128i busy = _mm_or_si128(
        _mm_or_si128(_mm_cmpgt_epi16(low, bounds.lowAbove), _mm_cmpgt_epi16(bounds.lowBelow, low)),
        _mm_or_si128(_mm_cmpgt_epi16(high, bounds.highAbove),
                     _mm_cmpgt_epi16(bounds.highBelow, high)));
    if (_mm_movemask_epi8(busy) != 0) {
      recordLowRange(lowPlane, k, k + kGroupBytes, record.left.low);
      recordLowRange(lowPlane + kRightOffset, k, k + kGroupBytes, record.right.low);
      if constexpr (!kIgnoreClicks) {
        recordHighRange<false>(highPlane, k, k + kGroupBytes, record.left.high, counters[0]);
        recordHighRange<false>(highPlane + kRightOffset, k, k + kGroupBytes, record.right.high,
                               counters[1]);
      }
      bounds = quietBounds<kIgnoreClicks>(record);
    }
  }
  storeExtremes(lowExtremes.maximum, lowMaximum);
  storeExtremes(lowExtremes.minimum, lowMinimum);
  recordLowRange(lowPlane, k, end, record.left.low);
  recordLowRange(lowPlane + kRightOffset, k, end, record.right.low);
  if constexpr (!kIgnoreClicks) {
    recordHighRange<false>(highPlane, k, end, record.left.high, counters[0]);
    recordHighRange<false>(highPlane + kRightOffset, k, end, record.right.high, counters[1]);
  }
}

#else

template <bool kIgnoreClicks>
void recordLowAndHighBands(const std::uint8_t* lowPlane, const std::uint8_t* highPlane,
                           std::uint32_t begin, std::uint32_t end, ScanRecord& record,
                           HighBandCounters (&counters)[2], LowBandExtremes&) {
  recordLowRange(lowPlane, begin, end, record.left.low);
  recordLowRange(lowPlane + kRightOffset, begin, end, record.right.low);
  recordHighRange<kIgnoreClicks>(highPlane, begin, end, record.left.high, counters[0]);
  recordHighRange<kIgnoreClicks>(highPlane + kRightOffset, begin, end, record.right.high,
                                 counters[1]);
}

#endif

}  // namespace

void recordLowAndHigh(const std::uint8_t* lowPlane, const std::uint8_t* highPlane,
                      std::uint32_t begin, std::uint32_t end, bool ignoreClicks, ScanRecord& record,
                      HighBandCounters (&counters)[2], LowBandExtremes& lowExtremes) {
  if (ignoreClicks) {
    recordLowAndHighBands<true>(lowPlane, highPlane, begin, end, record, counters, lowExtremes);
  } else {
    recordLowAndHighBands<false>(lowPlane, highPlane, begin, end, record, counters, lowExtremes);
  }
}

// The plain walk leaves the extremes at 0, which moves no peak.
void mergeLowBandExtremes(const LowBandExtremes& lowExtremes, ScanRecord& record) {
  for (int lane = 0; lane < 8; lane += 2) {
    recordPeaks(record.left.low, lowExtremes.maximum[lane]);
    recordPeaks(record.left.low, lowExtremes.minimum[lane]);
    recordPeaks(record.right.low, lowExtremes.maximum[lane + 1]);
    recordPeaks(record.right.low, lowExtremes.minimum[lane + 1]);
  }
}

}  // namespace engine
