#include "loudness/k_weighting.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/pcm_access.h"
#include "engine/simd.h"

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

}  // namespace loudness

namespace loudness {

namespace {

// The two channels of the first stretch, then the two of the second. The compiler gives the
// lanes' arithmetic to whatever vectors the target has, one IEEE operation per lane each, so the
// bits do not depend on the path.
using FourLanes = double __attribute__((vector_size(4 * sizeof(double))));
using FourValues = std::int32_t __attribute__((vector_size(4 * sizeof(std::int32_t))));

// 16-bit samples over 32768, exact in double as in single precision.
constexpr double kPcm16Scale = 1.0 / 32768.0;

// The filter takes its input from a few hundred frames at a time converted ahead, which keeps
// the conversion out of its loop and within the first-level cache.
constexpr std::size_t kConvertedFrames = 441;

void convertSideBySidePlainly(const std::uint8_t* first, const std::uint8_t* second,
                              std::size_t frames, FourLanes* converted) {
  for (std::size_t n = 0; n < frames; ++n) {
    const FourValues values = {engine::loadSample(first), engine::loadSample(first + 2),
                               engine::loadSample(second), engine::loadSample(second + 2)};
    converted[n] = __builtin_convertvector(values, FourLanes) * kPcm16Scale;
    first += kPcm16FrameBytes;
    second += kPcm16FrameBytes;
  }
}

#if defined(SONBALANCER_AVX2)
// Four frames of each stretch at a time: the frames of the two are interleaved, widened and
// converted two frames to an instruction.
__attribute__((target("avx2"))) void convertSideBySideFourWide(const std::uint8_t* first,
                                                               const std::uint8_t* second,
                                                               std::size_t frames,
                                                               FourLanes* converted) {
  const __m256d scale = _mm256_set1_pd(kPcm16Scale);
  std::size_t n = 0;
  for (; n + 4 <= frames; n += 4) {
    const __m128i firstFrames =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + n * kPcm16FrameBytes));
    const __m128i secondFrames =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + n * kPcm16FrameBytes));
    const __m256i frames01 = _mm256_cvtepi16_epi32(_mm_unpacklo_epi32(firstFrames, secondFrames));
    const __m256i frames23 = _mm256_cvtepi16_epi32(_mm_unpackhi_epi32(firstFrames, secondFrames));
    const __m128i values[4] = {_mm256_castsi256_si128(frames01),
                               _mm256_extracti128_si256(frames01, 1),
                               _mm256_castsi256_si128(frames23),
                               _mm256_extracti128_si256(frames23, 1)};
    for (int k = 0; k < 4; ++k) {
      _mm256_store_pd(reinterpret_cast<double*>(converted + n + k),
                      _mm256_mul_pd(_mm256_cvtepi32_pd(values[k]), scale));
    }
  }
  convertSideBySidePlainly(first + n * kPcm16FrameBytes, second + n * kPcm16FrameBytes,
                           frames - n, converted + n);
}
#endif

// The operations and their order are filterSquares'.
template <typename Convert>
[[gnu::always_inline]] inline void filterSideBySide(const std::uint8_t* first,
                                                    const std::uint8_t* second,
                                                    std::size_t segments, std::size_t segmentFrames,
                                                    FourLanes (&state)[4], double* firstSquares,
                                                    double* secondSquares, Convert&& convert) {
  const KWeighting& w = kWeighting();
  const double a1 = w.a[1], a2 = w.a[2], a3 = w.a[3], a4 = w.a[4];
  const double b0 = w.b[0], b1 = w.b[1], b2 = w.b[2], b3 = w.b[3], b4 = w.b[4];
  alignas(sizeof(FourLanes)) FourLanes converted[kConvertedFrames];
  FourLanes v1 = state[0], v2 = state[1], v3 = state[2], v4 = state[3];
  for (std::size_t segment = 0; segment < segments; ++segment) {
    FourLanes squares = {};
    for (std::size_t done = 0; done < segmentFrames; done += kConvertedFrames) {
      const std::size_t frames = std::min(kConvertedFrames, segmentFrames - done);
      const std::size_t at = (segment * segmentFrames + done) * kPcm16FrameBytes;
      convert(first + at, second + at, frames, converted);
      for (std::size_t n = 0; n < frames; ++n) {
        const FourLanes x = converted[n];
        const FourLanes older = x - a4 * v4 - a3 * v3 - a2 * v2;
        const FourLanes v0 = older - a1 * v1;
        const FourLanes y = b0 * v0 + b1 * v1 + b2 * v2 + b3 * v3 + b4 * v4;
        squares += y * y;
        v4 = v3;
        v3 = v2;
        v2 = v1;
        v1 = v0;
      }
    }
    for (FourLanes* v : {&v1, &v2, &v3, &v4}) {
      *v = (*v < kNegligibleState) & (*v > -kNegligibleState) ? FourLanes{} : *v;
    }
    firstSquares[segment] = squares[0] + squares[1];
    secondSquares[segment] = squares[2] + squares[3];
  }
  state[0] = v1;
  state[1] = v2;
  state[2] = v3;
  state[3] = v4;
}

void filterSideBySidePlainly(const std::uint8_t* first, const std::uint8_t* second,
                             std::size_t segments, std::size_t segmentFrames,
                             FourLanes (&state)[4], double* firstSquares, double* secondSquares) {
  filterSideBySide(first, second, segments, segmentFrames, state, firstSquares, secondSquares,
                   convertSideBySidePlainly);
}

#if defined(SONBALANCER_AVX2)
__attribute__((target("avx2"))) void filterSideBySideFourWide(
    const std::uint8_t* first, const std::uint8_t* second, std::size_t segments,
    std::size_t segmentFrames, FourLanes (&state)[4], double* firstSquares, double* secondSquares) {
  filterSideBySide(first, second, segments, segmentFrames, state, firstSquares, secondSquares,
                   convertSideBySideFourWide);
}
#endif

}  // namespace

void filterSegmentsSideBySide(const std::uint8_t* first, const std::uint8_t* second,
                              std::size_t segments, std::size_t segmentFrames,
                              KWeightingFilter& firstFilter, KWeightingFilter& secondFilter,
                              double* firstSquares, double* secondSquares) {
  FourLanes state[4];
  for (int i = 0; i < 4; ++i) {
    state[i] = FourLanes{firstFilter.state_[0][i], firstFilter.state_[1][i],
                         secondFilter.state_[0][i], secondFilter.state_[1][i]};
  }
#if defined(SONBALANCER_AVX2)
  if (engine::hasAvx2()) {
    filterSideBySideFourWide(first, second, segments, segmentFrames, state, firstSquares,
                             secondSquares);
  } else {
    filterSideBySidePlainly(first, second, segments, segmentFrames, state, firstSquares,
                            secondSquares);
  }
#else
  filterSideBySidePlainly(first, second, segments, segmentFrames, state, firstSquares,
                          secondSquares);
#endif
  for (int i = 0; i < 4; ++i) {
    for (std::size_t channel = 0; channel < kChannels; ++channel) {
      firstFilter.state_[channel][i] = state[i][channel];
      secondFilter.state_[channel][i] = state[i][kChannels + channel];
    }
  }
}

}  // namespace loudness
