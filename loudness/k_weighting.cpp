#include "loudness/k_weighting.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "engine/pcm_access.h"
#include "engine/simd.h"
#include "loudness/pcm16_extremes.h"

namespace loudness {

namespace {

// Below this a state holds no audible energy (its square is 600 dB under the -70 LUFS gate);
// zeroing it after each run keeps the decay after the audio out of the slow subnormal numbers.
constexpr double kNegligibleState = 1e-30;

KWeighting makeKWeighting() {
  // The prototypes' constants and arithmetic are libebur128's, so the products round alike.
  const double shelfHz = 1681.974450955533;
  const double shelfGainDb = 3.999843853973347;
  const double shelfQ = 0.7071752369554196;
  double k = std::tan(std::numbers::pi * shelfHz / kSampleRateHz);
  const double vh = std::pow(10.0, shelfGainDb / 20.0);
  const double vb = std::pow(vh, 0.4996667741545416);
  const double a0 = 1.0 + k / shelfQ + k * k;
  const double pb[3] = {(vh + vb * k / shelfQ + k * k) / a0, 2.0 * (k * k - vh) / a0,
                        (vh - vb * k / shelfQ + k * k) / a0};
  const double pa[3] = {1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / shelfQ + k * k) / a0};

  const double highPassHz = 38.13547087602444;
  const double highPassQ = 0.5003270373238773;
  k = std::tan(std::numbers::pi * highPassHz / kSampleRateHz);
  const double rb[3] = {1.0, -2.0, 1.0};
  const double ra[3] = {1.0, 2.0 * (k * k - 1.0) / (1.0 + k / highPassQ + k * k),
                        (1.0 - k / highPassQ + k * k) / (1.0 + k / highPassQ + k * k)};

  return {
      {pb[0] * rb[0], pb[0] * rb[1] + pb[1] * rb[0], pb[0] * rb[2] + pb[1] * rb[1] + pb[2] * rb[0],
       pb[1] * rb[2] + pb[2] * rb[1], pb[2] * rb[2]},
      {pa[0] * ra[0], pa[0] * ra[1] + pa[1] * ra[0], pa[0] * ra[2] + pa[1] * ra[1] + pa[2] * ra[0],
       pa[1] * ra[2] + pa[2] * ra[1], pa[2] * ra[2]}};
}

}  // namespace

const KWeighting& kWeighting() {
  static const KWeighting made = makeKWeighting();
  return made;
}

// The newest state's term is subtracted last, so that each frame waits on the one before for a
// single product and difference only; the rounding differs from libebur128's order by a few
// parts in 10^16.
#if defined(SONBALANCER_SSE2)

// Both channels in the two lanes of a double vector.
double KWeightingFilter::filterSquares(const float* samples, std::size_t frames) {
  const KWeighting& w = kWeighting();
  const __m128d a1 = _mm_set1_pd(w.a[1]), a2 = _mm_set1_pd(w.a[2]);
  const __m128d a3 = _mm_set1_pd(w.a[3]), a4 = _mm_set1_pd(w.a[4]);
  const __m128d b0 = _mm_set1_pd(w.b[0]), b1 = _mm_set1_pd(w.b[1]), b2 = _mm_set1_pd(w.b[2]);
  const __m128d b3 = _mm_set1_pd(w.b[3]), b4 = _mm_set1_pd(w.b[4]);
  __m128d v1 = _mm_set_pd(state_[1][0], state_[0][0]);
  __m128d v2 = _mm_set_pd(state_[1][1], state_[0][1]);
  __m128d v3 = _mm_set_pd(state_[1][2], state_[0][2]);
  __m128d v4 = _mm_set_pd(state_[1][3], state_[0][3]);
  __m128d squares = _mm_setzero_pd();
  for (std::size_t n = 0; n < frames; ++n) {
    const __m128d x = _mm_cvtps_pd(
        _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(samples + n * kChannels))));
    const __m128d older = _mm_sub_pd(
        _mm_sub_pd(_mm_sub_pd(x, _mm_mul_pd(a4, v4)), _mm_mul_pd(a3, v3)), _mm_mul_pd(a2, v2));
    const __m128d v0 = _mm_sub_pd(older, _mm_mul_pd(a1, v1));
    const __m128d y = _mm_add_pd(
        _mm_add_pd(
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, v0), _mm_mul_pd(b1, v1)), _mm_mul_pd(b2, v2)),
            _mm_mul_pd(b3, v3)),
        _mm_mul_pd(b4, v4));
    squares = _mm_add_pd(squares, _mm_mul_pd(y, y));
    v4 = v3;
    v3 = v2;
    v2 = v1;
    v1 = v0;
  }
  const __m128d* states[4] = {&v1, &v2, &v3, &v4};
  for (int i = 0; i < 4; ++i) {
    alignas(16) double lanes[2];
    _mm_store_pd(lanes, *states[i]);
    for (std::size_t channel = 0; channel < kChannels; ++channel) {
      state_[channel][i] = std::fabs(lanes[channel]) < kNegligibleState ? 0.0 : lanes[channel];
    }
  }
  alignas(16) double sums[2];
  _mm_store_pd(sums, squares);
  return sums[0] + sums[1];
}

#else

double KWeightingFilter::filterSquares(const float* samples, std::size_t frames) {
  const KWeighting& w = kWeighting();
  double sums[kChannels] = {};
  for (std::size_t channel = 0; channel < kChannels; ++channel) {
    double& v1 = state_[channel][0];
    double& v2 = state_[channel][1];
    double& v3 = state_[channel][2];
    double& v4 = state_[channel][3];
    for (std::size_t n = 0; n < frames; ++n) {
      const double x = samples[n * kChannels + channel];
      const double v0 = x - w.a[4] * v4 - w.a[3] * v3 - w.a[2] * v2 - w.a[1] * v1;
      const double y = w.b[0] * v0 + w.b[1] * v1 + w.b[2] * v2 + w.b[3] * v3 + w.b[4] * v4;
      sums[channel] += y * y;
      v4 = v3;
      v3 = v2;
      v2 = v1;
      v1 = v0;
    }
    for (double& state : state_[channel]) {
      if (std::fabs(state) < kNegligibleState) state = 0.0;
    }
  }
  return sums[0] + sums[1];
}

#endif

namespace {

// The two channels of two parts. The compiler gives the lanes' arithmetic to whatever vectors
// the target has, one IEEE operation per lane each, so the bits do not depend on the path.
using FourLanes = double __attribute__((vector_size(4 * sizeof(double))));
constexpr std::size_t kLanes = kSideBySideParts * kChannels;

// The filter takes its input from a few hundred frames at a time converted ahead, which keeps
// the conversion out of its loop and within the first-level cache.
constexpr std::size_t kConvertedFrames = 441;

using Parts = std::array<const std::uint8_t*, kSideBySideParts>;

// `frames` frames of each part from `at` bytes on, as kLanes doubles a frame; returns the
// largest magnitude among those samples.
std::int32_t convertPartsPlainly(const Parts& parts, std::size_t at, std::size_t frames,
                                 double* converted) {
  std::int32_t magnitude = 0;
  for (std::size_t n = 0; n < frames; ++n) {
    for (std::size_t part = 0; part < kSideBySideParts; ++part) {
      const std::uint8_t* frame = parts[part] + at + n * kPcm16FrameBytes;
      for (std::size_t channel = 0; channel < kChannels; ++channel) {
        const std::int32_t value = engine::loadSample(frame + 2 * channel);
        magnitude = std::max(magnitude, std::abs(value));
        converted[n * kLanes + part * kChannels + channel] = value * double{kPcm16Scale};
      }
    }
  }
  return magnitude;
}

#if defined(SONBALANCER_AVX2)
// Four frames of two parts at a time: their frames are interleaved, widened and converted two
// frames to an instruction.
__attribute__((target("avx2"))) std::int32_t convertPartsFourWide(const Parts& parts,
                                                                  std::size_t at,
                                                                  std::size_t frames,
                                                                  double* converted) {
  const __m256d scale = _mm256_set1_pd(double{kPcm16Scale});
  Pcm16Extremes extremes;
  std::size_t n = 0;
  for (; n + 4 <= frames; n += 4) {
    for (std::size_t pair = 0; pair < kSideBySideParts; pair += 2) {
      const std::size_t offset = at + n * kPcm16FrameBytes;
      const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(parts[pair] + offset));
      const __m128i second =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(parts[pair + 1] + offset));
      extremes.add(first);
      extremes.add(second);
      const __m256i frames01 = _mm256_cvtepi16_epi32(_mm_unpacklo_epi32(first, second));
      const __m256i frames23 = _mm256_cvtepi16_epi32(_mm_unpackhi_epi32(first, second));
      const __m128i values[4] = {
          _mm256_castsi256_si128(frames01), _mm256_extracti128_si256(frames01, 1),
          _mm256_castsi256_si128(frames23), _mm256_extracti128_si256(frames23, 1)};
      for (std::size_t k = 0; k < 4; ++k) {
        _mm256_storeu_pd(converted + (n + k) * kLanes + pair * kChannels,
                         _mm256_mul_pd(_mm256_cvtepi32_pd(values[k]), scale));
      }
    }
  }
  return std::max(extremes.magnitude(), convertPartsPlainly(parts, at + n * kPcm16FrameBytes,
                                                            frames - n, converted + n * kLanes));
}
#endif

// The filter's memory and the segment's squares of the lanes of one vector: the two channels
// of two parts in four lanes, of all four in eight.
template <typename Lanes>
struct LaneFilter {
  Lanes v1 = {}, v2 = {}, v3 = {}, v4 = {};
  Lanes sums = {};
};

// The operations and their order are filterSquares'.
template <typename Lanes>
[[gnu::always_inline]] inline void filterFrame(LaneFilter<Lanes>& f, const Lanes& x,
                                               const KWeighting& w) {
  const Lanes older = x - w.a[4] * f.v4 - w.a[3] * f.v3 - w.a[2] * f.v2;
  const Lanes v0 = older - w.a[1] * f.v1;
  const Lanes y = w.b[0] * v0 + w.b[1] * f.v1 + w.b[2] * f.v2 + w.b[3] * f.v3 + w.b[4] * f.v4;
  f.sums += y * y;
  f.v4 = f.v3;
  f.v3 = f.v2;
  f.v2 = f.v1;
  f.v1 = v0;
}

// A state too small to matter is cleared after each segment, as filterSquares clears it after
// each run.
template <typename Lanes>
[[gnu::always_inline]] inline void settle(LaneFilter<Lanes>& f) {
  for (Lanes* v : {&f.v1, &f.v2, &f.v3, &f.v4}) {
    *v = ((*v < kNegligibleState) & (*v > -kNegligibleState)) ? Lanes{} : *v;
  }
}

// Each part from silence, its lanes in vectors of Lanes; returns the largest magnitude among the
// samples read.
template <typename Lanes, typename Convert>
[[gnu::always_inline]] inline std::int32_t filterSideBySide(const Parts& parts,
                                                            std::size_t segments,
                                                            std::size_t segmentFrames,
                                                            const PartSquares& squares,
                                                            Convert&& convert) {
  constexpr std::size_t kWidth = sizeof(Lanes) / sizeof(double);
  constexpr std::size_t kVectors = kLanes / kWidth;
  const KWeighting w = kWeighting();
  alignas(sizeof(Lanes)) double converted[kConvertedFrames * kLanes];
  LaneFilter<Lanes> filters[kVectors];
  std::int32_t magnitude = 0;
  for (std::size_t segment = 0; segment < segments; ++segment) {
    for (LaneFilter<Lanes>& f : filters) f.sums = Lanes{};
    for (std::size_t done = 0; done < segmentFrames; done += kConvertedFrames) {
      const std::size_t frames = std::min(kConvertedFrames, segmentFrames - done);
      magnitude = std::max(
          magnitude,
          convert(parts, (segment * segmentFrames + done) * kPcm16FrameBytes, frames, converted));
      for (std::size_t n = 0; n < frames; ++n) {
        Lanes x[kVectors];
        std::memcpy(x, converted + n * kLanes, sizeof x);
        for (std::size_t v = 0; v < kVectors; ++v) filterFrame(filters[v], x[v], w);
      }
    }
    for (LaneFilter<Lanes>& f : filters) settle(f);
    for (std::size_t part = 0; part < kSideBySideParts; ++part) {
      const std::size_t lane = part * kChannels;
      const Lanes& sums = filters[lane / kWidth].sums;
      squares[part][segment] = sums[lane % kWidth] + sums[lane % kWidth + 1];
    }
  }
  return magnitude;
}

std::int32_t filterSideBySidePlainly(const Parts& parts, std::size_t segments,
                                     std::size_t segmentFrames, const PartSquares& squares) {
  return filterSideBySide<FourLanes>(parts, segments, segmentFrames, squares, convertPartsPlainly);
}

#if defined(SONBALANCER_AVX2)
__attribute__((target("avx2"))) std::int32_t filterSideBySideFourWide(const Parts& parts,
                                                                      std::size_t segments,
                                                                      std::size_t segmentFrames,
                                                                      const PartSquares& squares) {
  return filterSideBySide<FourLanes>(parts, segments, segmentFrames, squares, convertPartsFourWide);
}
#endif

#if defined(SONBALANCER_AVX512)
SONBALANCER_AVX512_WALKS_BEGIN

// All four parts in one vector: the filter waits on its recurrence no longer than it takes to
// issue the vector's products.
using EightLanes = double __attribute__((vector_size(kLanes * sizeof(double))));

// Four frames of every part at a time: regrouped frame by frame, a frame of all four parts
// widens and converts in one instruction each.
__attribute__((target("avx512f"))) std::int32_t convertPartsEightWide(const Parts& parts,
                                                                      std::size_t at,
                                                                      std::size_t frames,
                                                                      double* converted) {
  const __m512d scale = _mm512_set1_pd(double{kPcm16Scale});
  Pcm16Extremes extremes;
  std::size_t n = 0;
  for (; n + 4 <= frames; n += 4) {
    const std::size_t offset = at + n * kPcm16FrameBytes;
    __m128i four[kSideBySideParts];
    for (std::size_t part = 0; part < kSideBySideParts; ++part) {
      four[part] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(parts[part] + offset));
      extremes.add(four[part]);
    }
    __m128i frame[4];
    engine::framesSideBySide(four, frame);
    for (std::size_t k = 0; k < 4; ++k) {
      _mm512_storeu_pd(converted + (n + k) * kLanes,
                       _mm512_mul_pd(_mm512_cvtepi32_pd(_mm256_cvtepi16_epi32(frame[k])), scale));
    }
  }
  return std::max(extremes.magnitude(), convertPartsPlainly(parts, at + n * kPcm16FrameBytes,
                                                            frames - n, converted + n * kLanes));
}

__attribute__((target("avx512f"))) std::int32_t filterSideBySideEightWide(
    const Parts& parts, std::size_t segments, std::size_t segmentFrames,
    const PartSquares& squares) {
  return filterSideBySide<EightLanes>(parts, segments, segmentFrames, squares,
                                      convertPartsEightWide);
}

SONBALANCER_AVX512_WALKS_END
#endif

}  // namespace

std::int32_t filterPartsSideBySide(const Parts& parts, std::size_t segments,
                                   std::size_t segmentFrames, const PartSquares& squares) {
#if defined(SONBALANCER_AVX512)
  if (engine::hasAvx512()) {
    return filterSideBySideEightWide(parts, segments, segmentFrames, squares);
  }
#endif
#if defined(SONBALANCER_AVX2)
  if (engine::hasAvx2()) return filterSideBySideFourWide(parts, segments, segmentFrames, squares);
#endif
  return filterSideBySidePlainly(parts, segments, segmentFrames, squares);
}

}  // namespace loudness
