#include "engine/band_split.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/pcm_access.h"

namespace engine {

namespace {

// The low band's quasi-peaks follow 1/1000 of the excess, so they settle within 999 of a
// steady level and never move back toward 0.
constexpr int kLowQuasiPeakDivisor = 1000;
// High-band quasi-peaks move by 1 each time a step counter wraps past 256: every 32 samples
// beyond them, or more slowly while a click run is still undecided.
constexpr std::uint8_t kHighStep = 8;
constexpr std::uint8_t kHighStepDuringRun = 2;
// A run of this many samples beyond a high-band peak is music rather than a click.
constexpr std::uint8_t kRunLength = 4;

constexpr std::uint32_t kProgressPeriodBytes = std::uint32_t{1} << 24;
constexpr int kGaugeBase = 25;
constexpr std::uint32_t kGaugeSpan = 70;
constexpr int kGaugePauseMs = 30;

constexpr std::int16_t limitBand(int value) {
  return static_cast<std::int16_t>(std::clamp(value, -kBandLimit, kBandLimit));
}

void recordPeaks(BandPeaks& band, std::int16_t value) {
  if (value > band.peakMax) band.peakMax = value;
  if (value < band.peakMin) band.peakMin = value;
}

// A high-band peak moves only after kRunLength consecutive samples beyond it, and then to the
// most extreme of them; the peak a run is measured against stays put during the run.
void recordHighPeaksIgnoringClicks(BandPeaks& band, HighBandCounters& counters, std::int16_t high) {
  if (high > band.peakMax) {
    if (counters.upRun == 0) {
      counters.upCandidate = high;
      counters.upRun = 1;
    } else {
      counters.upCandidate = std::max(counters.upCandidate, high);
      ++counters.upRun;
    }
    if (counters.upRun >= kRunLength) {
      band.peakMax = counters.upCandidate;
      counters.upRun = 0;
    }
    counters.downRun = 0;
    return;
  }
  counters.upRun = 0;
  if (high < band.peakMin) {
    if (counters.downRun == 0) {
      counters.downCandidate = high;
      counters.downRun = 1;
    } else {
      counters.downCandidate = std::min(counters.downCandidate, high);
      ++counters.downRun;
    }
    if (counters.downRun >= kRunLength) {
      band.peakMin = counters.downCandidate;
      counters.downRun = 0;
    }
  } else {
    counters.downRun = 0;
  }
}

// The bands' rules touch nothing of each other's, so each band is recorded on its own.

void recordLowBand(BandPeaks& low, std::int16_t value) {
  recordPeaks(low, value);
  if (value > low.quasiPeakMax) {
    low.quasiPeakMax = static_cast<std::int16_t>(low.quasiPeakMax +
                                                 (value - low.quasiPeakMax) / kLowQuasiPeakDivisor);
  }
  if (value < low.quasiPeakMin) {
    low.quasiPeakMin = static_cast<std::int16_t>(low.quasiPeakMin +
                                                 (value - low.quasiPeakMin) / kLowQuasiPeakDivisor);
  }
}

// A running average, weight one half, of the samples in the outer half of the peak range;
// unlike the other quasi-peaks it can fall again.
void recordMiddleBand(BandPeaks& middle, std::int16_t value) {
  recordPeaks(middle, value);
  if (value > middle.peakMax / 2) {
    middle.quasiPeakMax = static_cast<std::int16_t>(value / 2 + middle.quasiPeakMax / 2);
  } else if (value < middle.peakMin / 2) {
    middle.quasiPeakMin = static_cast<std::int16_t>(value / 2 + middle.quasiPeakMin / 2);
  }
}

template <bool kIgnoreClicks>
void recordHighBand(BandPeaks& high, HighBandCounters& counters, std::int16_t value) {
  if constexpr (kIgnoreClicks) {
    recordHighPeaksIgnoringClicks(high, counters, value);
  } else {
    recordPeaks(high, value);
  }
  if (value > high.quasiPeakMax) {
    const bool runPending = kIgnoreClicks && counters.upRun != 0;
    counters.upStep =
        static_cast<std::uint8_t>(counters.upStep + (runPending ? kHighStepDuringRun : kHighStep));
    if (counters.upStep == 0) ++high.quasiPeakMax;
  } else if (value < high.quasiPeakMin) {
    const bool runPending = kIgnoreClicks && counters.downRun != 0;
    counters.downStep = static_cast<std::uint8_t>(counters.downStep +
                                                  (runPending ? kHighStepDuringRun : kHighStep));
    if (counters.downStep == 0) --high.quasiPeakMin;
  }
}

// The two low-passes of one channel.
struct ChannelState {
  std::int64_t slow;
  std::int64_t fast;
};

// Filter states of both channels.
struct FrameFilter {
  ChannelState left;
  ChannelState right;
};

// A block is split in three walks: the scaling of every input value and the band arithmetic
// run many values to an instruction, leaving the serial walk of the filters with nothing but
// the recurrences. The scaled values are kept in a small array beside the block.
constexpr std::uint32_t kBlockBytes = 8192;
using ScaledBlock = std::int16_t[kBlockBytes / 2];

// filterBlock: the slow and fast states of both channels over the scaled values of `bytes`
// bytes of frames; the slow states go to the low-band plane, the fast states to the high-band
// plane for now.

#if defined(__SSE2__)

// One low-pass of both channels, the states in the low halves of two 64-bit lanes (left,
// right), the high halves 0. With the difference d = x − state above −2^17, d + 2^s is
// positive and below 2^29, so the unsigned 32 × 32-bit product (d + 2^s)·n is exact, and
// floor(((d + 2^s)·n + bias) / 2^s) = trunc(d·n / 2^s) + n, with bias = 2^s − 1 for a
// negative d as in lowPassed. The new state is that, plus the old state, minus n.
struct LanePass {
  __m128i numerator;  // n in each lane
  __m128i one;        // 2^s
  __m128i bias;       // 2^s − 1
  int shift;
};

LanePass lanePass(ExactCoefficient c) {
  return {_mm_set_epi32(0, static_cast<int>(c.numerator), 0, static_cast<int>(c.numerator)),
          _mm_set_epi32(0, 1 << c.shift, 0, 1 << c.shift),
          _mm_set_epi32(0, (1 << c.shift) - 1, 0, (1 << c.shift) - 1), c.shift};
}

inline __m128i lanesLowPassed(__m128i state, __m128i x, const LanePass& pass) {
  const __m128i difference = _mm_sub_epi32(x, state);
  const __m128i raised = _mm_add_epi32(difference, pass.one);
  const __m128i towardZero = _mm_and_si128(_mm_srai_epi32(difference, 31), pass.bias);
  const __m128i product = _mm_add_epi64(_mm_mul_epu32(raised, pass.numerator), towardZero);
  return _mm_add_epi32(_mm_srli_epi64(product, pass.shift), _mm_sub_epi32(state, pass.numerator));
}

// The states of both channels as a left and a right 16-bit value.
inline void storeLanePair(std::uint8_t* at, __m128i state) {
  const __m128i pair = _mm_shuffle_epi32(state, 0x08);
  const int bits = _mm_cvtsi128_si32(_mm_packs_epi32(pair, pair));
  std::memcpy(at, &bits, sizeof bits);
}

void filterBlock(const ScaledBlock& scaled, std::uint32_t bytes, std::uint8_t* lowAt,
                 std::uint8_t* fastAt, FrameFilter& filter) {
  const LanePass slowPass = lanePass(kExactSlowCoefficient);
  const LanePass fastPass = lanePass(kExactFastCoefficient);
  __m128i slow =
      _mm_set_epi32(0, static_cast<int>(filter.right.slow), 0, static_cast<int>(filter.left.slow));
  __m128i fast =
      _mm_set_epi32(0, static_cast<int>(filter.right.fast), 0, static_cast<int>(filter.left.fast));
  for (std::uint32_t k = 0; k < bytes; k += 4) {
    int pair;
    std::memcpy(&pair, scaled + k / 2, sizeof pair);
    const __m128i values = _mm_cvtsi32_si128(pair);
    const __m128i x = _mm_unpacklo_epi32(_mm_srai_epi32(_mm_unpacklo_epi16(values, values), 16),
                                         _mm_setzero_si128());
    slow = lanesLowPassed(slow, x, slowPass);
    fast = lanesLowPassed(fast, x, fastPass);
    storeLanePair(lowAt + k, slow);
    storeLanePair(fastAt + k, fast);
  }
  alignas(16) std::int32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), slow);
  filter.left.slow = lanes[0];
  filter.right.slow = lanes[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), fast);
  filter.left.fast = lanes[0];
  filter.right.fast = lanes[2];
}

#else

void filterBlock(const ScaledBlock& scaled, std::uint32_t bytes, std::uint8_t* lowAt,
                 std::uint8_t* fastAt, FrameFilter& filter) {
  FrameFilter state = filter;
  for (std::uint32_t k = 0; k < bytes; k += 4) {
    const std::int64_t left = scaled[k / 2];
    const std::int64_t right = scaled[k / 2 + 1];
    state.left.slow = lowPassed(state.left.slow, left, kExactSlowCoefficient);
    state.left.fast = lowPassed(state.left.fast, left, kExactFastCoefficient);
    state.right.slow = lowPassed(state.right.slow, right, kExactSlowCoefficient);
    state.right.fast = lowPassed(state.right.fast, right, kExactFastCoefficient);
    // Each new state lies between the old state and x, so it stays within 16 bits.
    storeSample(lowAt + k, static_cast<std::int16_t>(state.left.slow));
    storeSample(lowAt + k + 2, static_cast<std::int16_t>(state.right.slow));
    storeSample(fastAt + k, static_cast<std::int16_t>(state.left.fast));
    storeSample(fastAt + k + 2, static_cast<std::int16_t>(state.right.fast));
  }
  filter = state;
}

#endif

#if defined(__SSE2__)

// Four values at a time in double lanes: 16-bit value × 0.85f is exact in double, so the
// truncating conversion gives the same as the scalar product.
void scaleBlock(const std::uint8_t* at, std::uint32_t bytes, ScaledBlock& scaled) {
  const __m128d inputScale = _mm_set1_pd(kInputScale);
  std::uint32_t k = 0;
  for (; k + 8 <= bytes; k += 8) {
    const __m128i values = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + k));
    const __m128i wide = _mm_srai_epi32(_mm_unpacklo_epi16(values, values), 16);
    const __m128i first = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(wide), inputScale));
    const __m128i second =
        _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(wide, 0xEE)), inputScale));
    const __m128i both = _mm_unpacklo_epi64(first, second);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(scaled + k / 2), _mm_packs_epi32(both, both));
  }
  for (; k < bytes; k += 2)
    scaled[k / 2] = static_cast<std::int16_t>(scaledInputExactly(loadSample(at + k)));
}

// middle = fast − slow and high = x − fast, each held within ±32766, eight values at a time.
// The saturating subtraction stops at −32768 … 32767, and holding that within ±32766 gives
// what holding the exact difference would.
void bandsOfBlock(const ScaledBlock& scaled, std::uint32_t bytes, std::uint8_t* middleAt,
                  const std::uint8_t* lowAt, std::uint8_t* highAt) {
  const __m128i upperLimit = _mm_set1_epi16(kBandLimit);
  const __m128i lowerLimit = _mm_set1_epi16(-kBandLimit);
  std::uint32_t k = 0;
  for (; k + 16 <= bytes; k += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scaled + k / 2));
    const __m128i slow = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lowAt + k));
    const __m128i fast = _mm_loadu_si128(reinterpret_cast<const __m128i*>(highAt + k));
    const __m128i middle = _mm_subs_epi16(fast, slow);
    const __m128i high = _mm_subs_epi16(x, fast);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(middleAt + k),
                     _mm_min_epi16(_mm_max_epi16(middle, lowerLimit), upperLimit));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(highAt + k),
                     _mm_min_epi16(_mm_max_epi16(high, lowerLimit), upperLimit));
  }
  for (; k < bytes; k += 2) {
    const int fast = loadSample(highAt + k);
    storeSample(middleAt + k, limitBand(fast - loadSample(lowAt + k)));
    storeSample(highAt + k, limitBand(scaled[k / 2] - fast));
  }
}

#else

void scaleBlock(const std::uint8_t* at, std::uint32_t bytes, ScaledBlock& scaled) {
  for (std::uint32_t k = 0; k < bytes; k += 2) {
    scaled[k / 2] = static_cast<std::int16_t>(scaledInputExactly(loadSample(at + k)));
  }
}

void bandsOfBlock(const ScaledBlock& scaled, std::uint32_t bytes, std::uint8_t* middleAt,
                  const std::uint8_t* lowAt, std::uint8_t* highAt) {
  for (std::uint32_t k = 0; k < bytes; k += 2) {
    const int fast = loadSample(highAt + k);
    storeSample(middleAt + k, limitBand(fast - loadSample(lowAt + k)));
    storeSample(highAt + k, limitBand(scaled[k / 2] - fast));
  }
}

#endif

// The two low-passes of both channels over the frames of [begin, end), at most one block:
// each value is replaced by its middle band and the low and high bands go to the same place
// of their planes.
void splitFrames(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                 std::uint32_t end, FrameFilter& filter) {
  std::uint8_t* const lowAt = samples + targetLength + begin;
  std::uint8_t* const highAt = samples + 2 * std::size_t{targetLength} + begin;
  ScaledBlock scaled;
  scaleBlock(samples + begin, end - begin, scaled);
  filterBlock(scaled, end - begin, lowAt, highAt, filter);
  bandsOfBlock(scaled, end - begin, samples + begin, lowAt, highAt);
}

// Recording. The rules are walked band by band over a block, one channel at a time, each with
// its state in registers; the three planes of the block are still in the first-level cache.

// The middle band of one channel over the values at [begin, end) of its plane. The rules of
// recordMiddleBand with the half peaks kept between values, since they change only with the
// peaks: a value beyond a half peak counts whether or not it also moves the peak, as a new
// peak p lies beyond p / 2 for every p other than 0; and a value within the half peaks lies
// within the peaks too.
void recordMiddleRange(const std::uint8_t* plane, std::uint32_t begin, std::uint32_t end,
                       BandPeaks& band) {
  int peakMax = band.peakMax;
  int peakMin = band.peakMin;
  int quasiPeakMax = band.quasiPeakMax;
  int quasiPeakMin = band.quasiPeakMin;
  int halfPeakMax = peakMax / 2;
  int halfPeakMin = peakMin / 2;
  for (std::uint32_t k = begin; k < end; k += 4) {
    const int value = loadSample(plane + k);
    if (value > halfPeakMax) {
      if (value > peakMax) {
        peakMax = value;
        halfPeakMax = value / 2;
      }
      quasiPeakMax = value / 2 + quasiPeakMax / 2;
    } else if (value < halfPeakMin) {
      if (value < peakMin) {
        peakMin = value;
        halfPeakMin = value / 2;
      }
      quasiPeakMin = value / 2 + quasiPeakMin / 2;
    }
  }
  band = {static_cast<std::int16_t>(peakMax), static_cast<std::int16_t>(peakMin),
          static_cast<std::int16_t>(quasiPeakMax), static_cast<std::int16_t>(quasiPeakMin)};
}

void recordLowRange(const std::uint8_t* plane, std::uint32_t begin, std::uint32_t end,
                    BandPeaks& band) {
  BandPeaks low = band;
  for (std::uint32_t k = begin; k < end; k += 4) recordLowBand(low, loadSample(plane + k));
  band = low;
}

template <bool kIgnoreClicks>
void recordHighRange(const std::uint8_t* plane, std::uint32_t begin, std::uint32_t end,
                     BandPeaks& band, HighBandCounters& channelCounters) {
  BandPeaks high = band;
  HighBandCounters counters = channelCounters;
  for (std::uint32_t k = begin; k < end; k += 4) {
    recordHighBand<kIgnoreClicks>(high, counters, loadSample(plane + k));
  }
  band = high;
  channelCounters = counters;
}

#if defined(__SSE2__)

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

// Running maxima and minima of the low band over the quiet groups, lanes alternating left
// and right.
struct LowBandExtremes {
  __m128i maximum = _mm_setzero_si128();
  __m128i minimum = _mm_setzero_si128();
};

constexpr std::uint32_t kGroupBytes = 16;

inline __m128i loadGroup(const std::uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

template <bool kIgnoreClicks>
void recordLowAndHigh(const std::uint8_t* lowPlane, const std::uint8_t* highPlane,
                      std::uint32_t begin, std::uint32_t end, ScanRecord& record,
                      HighBandCounters (&counters)[2], LowBandExtremes& lowExtremes) {
  if constexpr (kIgnoreClicks) {
    recordHighRange<true>(highPlane, begin, end, record.left.high, counters[0]);
    recordHighRange<true>(highPlane + 2, begin, end, record.right.high, counters[1]);
  }
  QuietBounds bounds = quietBounds<kIgnoreClicks>(record);
  std::uint32_t k = begin;
  for (; end - k >= kGroupBytes; k += kGroupBytes) {
    const __m128i low = loadGroup(lowPlane + k);
    const __m128i high = loadGroup(highPlane + k);
    lowExtremes.maximum = _mm_max_epi16(lowExtremes.maximum, low);
    lowExtremes.minimum = _mm_min_epi16(lowExtremes.minimum, low);
    const __m128i busy = _mm_or_si128(
        _mm_or_si128(_mm_cmpgt_epi16(low, bounds.lowAbove), _mm_cmpgt_epi16(bounds.lowBelow, low)),
        _mm_or_si128(_mm_cmpgt_epi16(high, bounds.highAbove),
                     _mm_cmpgt_epi16(bounds.highBelow, high)));
    if (_mm_movemask_epi8(busy) != 0) {
      recordLowRange(lowPlane, k, k + kGroupBytes, record.left.low);
      recordLowRange(lowPlane + 2, k, k + kGroupBytes, record.right.low);
      if constexpr (!kIgnoreClicks) {
        recordHighRange<false>(highPlane, k, k + kGroupBytes, record.left.high, counters[0]);
        recordHighRange<false>(highPlane + 2, k, k + kGroupBytes, record.right.high, counters[1]);
      }
      bounds = quietBounds<kIgnoreClicks>(record);
    }
  }
  recordLowRange(lowPlane, k, end, record.left.low);
  recordLowRange(lowPlane + 2, k, end, record.right.low);
  if constexpr (!kIgnoreClicks) {
    recordHighRange<false>(highPlane, k, end, record.left.high, counters[0]);
    recordHighRange<false>(highPlane + 2, k, end, record.right.high, counters[1]);
  }
}

// Folds the low-band extremes of the quiet groups into the record.
void mergeLowBandExtremes(const LowBandExtremes& lowExtremes, ScanRecord& record) {
  alignas(16) std::int16_t maximum[8];
  alignas(16) std::int16_t minimum[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(maximum), lowExtremes.maximum);
  _mm_store_si128(reinterpret_cast<__m128i*>(minimum), lowExtremes.minimum);
  for (int lane = 0; lane < 8; lane += 2) {
    recordPeaks(record.left.low, maximum[lane]);
    recordPeaks(record.left.low, minimum[lane]);
    recordPeaks(record.right.low, maximum[lane + 1]);
    recordPeaks(record.right.low, minimum[lane + 1]);
  }
}

#else

struct LowBandExtremes {};

// Both channels' low and high bands over the frames of [begin, end) of the two planes.
template <bool kIgnoreClicks>
void recordLowAndHigh(const std::uint8_t* lowPlane, const std::uint8_t* highPlane,
                      std::uint32_t begin, std::uint32_t end, ScanRecord& record,
                      HighBandCounters (&counters)[2], LowBandExtremes&) {
  recordLowRange(lowPlane, begin, end, record.left.low);
  recordLowRange(lowPlane + 2, begin, end, record.right.low);
  recordHighRange<kIgnoreClicks>(highPlane, begin, end, record.left.high, counters[0]);
  recordHighRange<kIgnoreClicks>(highPlane + 2, begin, end, record.right.high, counters[1]);
}

void mergeLowBandExtremes(const LowBandExtremes&, ScanRecord&) {}

#endif

// Frames are split and recorded in blocks small enough for the three planes of a block to
// stay in the first-level cache between the steps; memory is still walked once.
template <bool kIgnoreClicks>
void scanFrames(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                std::uint32_t end, FrameFilter& filter, HighBandCounters (&counters)[2],
                ScanRecord& record, LowBandExtremes& lowExtremes) {
  const std::uint8_t* const lowPlane = samples + targetLength;
  const std::uint8_t* const highPlane = samples + 2 * std::size_t{targetLength};
  for (std::uint32_t blockBegin = begin; blockBegin < end;) {
    const std::uint32_t blockEnd = end - blockBegin > kBlockBytes ? blockBegin + kBlockBytes : end;
    splitFrames(samples, targetLength, blockBegin, blockEnd, filter);
    recordMiddleRange(samples, blockBegin, blockEnd, record.left.middle);
    recordMiddleRange(samples + 2, blockBegin, blockEnd, record.right.middle);
    recordLowAndHigh<kIgnoreClicks>(lowPlane, highPlane, blockBegin, blockEnd, record, counters,
                                    lowExtremes);
    blockBegin = blockEnd;
  }
}

void writeBandLine(ProcessLog& log, const char* format, const BandPeaks& right,
                   const BandPeaks& left, bool quasiPeaks) {
  if (quasiPeaks) {
    log.print(format, right.quasiPeakMin, right.quasiPeakMax, left.quasiPeakMin, left.quasiPeakMax);
  } else {
    log.print(format, right.peakMin, right.peakMax, left.peakMin, left.peakMax);
  }
}

void writeScanLog(const ScanRecord& record, ProcessLog& log) {
  if (!log.isOn()) return;
  for (const bool quasiPeaks : {true, false}) {
    log.write(quasiPeaks ? "Monitored quasi-peaks:\n" : "Monitored peaks:\n");
    writeBandLine(log, "LF: R = %d %d -- L = %d %d\n", record.right.low, record.left.low,
                  quasiPeaks);
    writeBandLine(log, "MF: R = %d %d -- L = %d %d\n", record.right.middle, record.left.middle,
                  quasiPeaks);
    writeBandLine(log, "HF: R = %d %d -- L = %d %d\n\n", record.right.high, record.left.high,
                  quasiPeaks);
  }
}

}  // namespace

void recordBands(ChannelScan& scan, HighBandCounters& counters, const ChannelBands& bands,
                 bool ignoreClicks) {
  recordLowBand(scan.low, bands.low);
  recordMiddleBand(scan.middle, bands.middle);
  if (ignoreClicks) {
    recordHighBand<true>(scan.high, counters, bands.high);
  } else {
    recordHighBand<false>(scan.high, counters, bands.high);
  }
}

int scanGaugePercent(std::uint32_t frameOffset, std::uint32_t targetLength) {
  const std::uint32_t bytesPerPercent = targetLength / kGaugeSpan;
  if (bytesPerPercent == 0) return kGaugeBase;
  return static_cast<int>(frameOffset / bytesPerPercent) + kGaugeBase;
}

ScanRecord splitAndScan(std::uint8_t* samples, std::uint32_t targetLength, bool ignoreClicks,
                        TrackHost& host, ProcessLog& log) {
  log.write("\nStep 2: three-band filter and scanning...\n");
  ScanRecord record;
  // Only whole frames are walked; a length that is not a whole number of frames would
  // otherwise let the last frame's high band run past the end of its plane.
  const std::uint32_t walkEnd = targetLength & ~std::uint32_t{3};
  if (walkEnd != 0) {
    // Both filter states of a channel start at its first value, unscaled.
    const std::int64_t firstLeft = loadSample(samples);
    const std::int64_t firstRight = loadSample(samples + 2);
    FrameFilter filter{{firstLeft, firstLeft}, {firstRight, firstRight}};
    HighBandCounters counters[2];
    LowBandExtremes lowExtremes;
    // The walk goes in stretches of one progress period, so the inner loops carry no gauge
    // test; the gauge steps at the start of each stretch.
    for (std::uint32_t begin = 0; begin < walkEnd;) {
      host.fileGaugeStep(scanGaugePercent(begin, targetLength), kGaugePauseMs);
      const std::uint32_t end =
          walkEnd - begin > kProgressPeriodBytes ? begin + kProgressPeriodBytes : walkEnd;
      if (ignoreClicks) {
        scanFrames<true>(samples, targetLength, begin, end, filter, counters, record, lowExtremes);
      } else {
        scanFrames<false>(samples, targetLength, begin, end, filter, counters, record, lowExtremes);
      }
      begin = end;
    }
    mergeLowBandExtremes(lowExtremes, record);
  }
  writeScanLog(record, log);
  return record;
}

}  // namespace engine
