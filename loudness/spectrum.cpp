#include "loudness/spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/pcm_access.h"
#include "engine/simd.h"

namespace loudness {

namespace {

constexpr std::size_t kTransformFrames = 8192;
constexpr int kTransformBits = 13;
static_assert(std::size_t{1} << kTransformBits == kTransformFrames);
constexpr double kSampleRate = 44100.0;
constexpr double kFullScale = 32768.0;

#if defined(SONBALANCER_SSE2)
using FourFloats = float __attribute__((vector_size(4 * sizeof(float))));
#endif

// Butterflies from the given points on, as many as Floats holds (one for a float): a and b
// become a + w·b and a − w·b. Every width does the same operations in the same order, lane by
// lane, so all give the same bits.
template <typename Floats>
[[gnu::always_inline]] inline void butterflyLanes(float* ar, float* ai, float* br, float* bi,
                                                  const float* wr, const float* wi) {
  Floats bre, bim, wre, wim, are, aim;
  std::memcpy(&bre, br, sizeof bre);
  std::memcpy(&bim, bi, sizeof bim);
  std::memcpy(&wre, wr, sizeof wre);
  std::memcpy(&wim, wi, sizeof wim);
  std::memcpy(&are, ar, sizeof are);
  std::memcpy(&aim, ai, sizeof aim);
  const Floats tr = bre * wre - bim * wim;
  const Floats ti = bre * wim + bim * wre;
  const Floats newBr = are - tr;
  const Floats newBi = aim - ti;
  const Floats newAr = are + tr;
  const Floats newAi = aim + ti;
  std::memcpy(br, &newBr, sizeof newBr);
  std::memcpy(bi, &newBi, sizeof newBi);
  std::memcpy(ar, &newAr, sizeof newAr);
  std::memcpy(ai, &newAi, sizeof newAi);
}

// The butterflies of one group of `half` each side.
[[gnu::always_inline]] inline void butterflies(float* ar, float* ai, float* br, float* bi,
                                               const float* wr, const float* wi, std::size_t half) {
  std::size_t j = 0;
#if defined(SONBALANCER_SSE2)
  for (; j + 4 <= half; j += 4) {
    butterflyLanes<FourFloats>(ar + j, ai + j, br + j, bi + j, wr + j, wi + j);
  }
#endif
  for (; j < half; ++j) butterflyLanes<float>(ar + j, ai + j, br + j, bi + j, wr + j, wi + j);
}

// One stage of half-length `half` over the whole transform, its twiddles at wr and wi. A half
// given as a constant lets the first stages' short groups go without a loop.
template <typename Half>
void stage(float* re, float* im, const float* wr, const float* wi, Half half) {
  for (std::size_t group = 0; group < kTransformFrames; group += 2 * half) {
    butterflies(re + group, im + group, re + group + half, im + group + half, wr, wi, half);
  }
}

template <std::size_t kHalf>
using Constant = std::integral_constant<std::size_t, kHalf>;

#if defined(SONBALANCER_AVX512)
// Floats in one AVX-512 vector.
constexpr std::size_t kVectorFloats = 16;
using SixteenFloats = float __attribute__((vector_size(kVectorFloats * sizeof(float))));

// A stage whose groups hold a multiple of kVectorFloats butterflies, that many at a time.
__attribute__((target("avx512f"))) void stageSixteenWide(float* re, float* im, const float* wr,
                                                         const float* wi, std::size_t half) {
  for (std::size_t group = 0; group < kTransformFrames; group += 2 * half) {
    float* ar = re + group;
    float* ai = im + group;
    float* br = ar + half;
    float* bi = ai + half;
    for (std::size_t j = 0; j < half; j += kVectorFloats) {
      butterflyLanes<SixteenFloats>(ar + j, ai + j, br + j, bi + j, wr + j, wi + j);
    }
  }
}
#endif

// A complex transform of kTransformFrames points, in place on separate real and imaginary
// arrays, radix 2 with each stage's twiddles laid out in a row so that its loops run straight.
class Transform {
 public:
  Transform() : twiddleRe_(kTransformFrames), twiddleIm_(kTransformFrames) {
    for (std::size_t i = 0; i < kTransformFrames; ++i) {
      std::size_t r = 0;
      for (int bit = 0; bit < kTransformBits; ++bit) {
        r |= ((i >> bit) & 1) << (kTransformBits - 1 - bit);
      }
      if (r > i) swaps_.emplace_back(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(r));
    }
    // The stage of half-length h keeps its h twiddles at [h, 2h).
    for (std::size_t half = 1; half < kTransformFrames; half *= 2) {
      for (std::size_t j = 0; j < half; ++j) {
        const double angle = -std::numbers::pi * static_cast<double>(j) / static_cast<double>(half);
        twiddleRe_[half + j] = static_cast<float>(std::cos(angle));
        twiddleIm_[half + j] = static_cast<float>(std::sin(angle));
      }
    }
  }

  // re and im hold the input in natural order; the output replaces it.
  void run(float* re, float* im) const {
    for (const auto& [i, r] : swaps_) {
      std::swap(re[i], re[r]);
      std::swap(im[i], im[r]);
    }
    stage(re, im, twiddleRe_.data() + 1, twiddleIm_.data() + 1, Constant<1>{});
    stage(re, im, twiddleRe_.data() + 2, twiddleIm_.data() + 2, Constant<2>{});
    for (std::size_t half = 4; half < kTransformFrames; half *= 2) {
      const float* wr = twiddleRe_.data() + half;
      const float* wi = twiddleIm_.data() + half;
#if defined(SONBALANCER_AVX512)
      if (half % kVectorFloats == 0 && engine::hasAvx512()) {
        stageSixteenWide(re, im, wr, wi, half);
        continue;
      }
#endif
      stage(re, im, wr, wi, half);
    }
  }

 private:
  // The pairs of points that the bit-reversed order exchanges, each once.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> swaps_;
  std::vector<float> twiddleRe_;
  std::vector<float> twiddleIm_;
};

const Transform& transform() {
  static const Transform kTransform;
  return kTransform;
}

// The band of each bin below the Nyquist frequency, by the bin's centre; -1 outside every band.
std::vector<int> bandOfBins() {
  std::vector<int> bands(kTransformFrames / 2, -1);
  for (std::size_t band = 0; band < kThirdOctaveBands; ++band) {
    const double centre = 1000.0 * std::pow(10.0, (static_cast<double>(band) - 15.0) / 10.0);
    const double lower = centre * std::pow(10.0, -0.05);
    const double upper = centre * std::pow(10.0, 0.05);
    for (std::size_t bin = 1; bin < kTransformFrames / 2; ++bin) {
      const double frequency = static_cast<double>(bin) * kSampleRate / kTransformFrames;
      if (frequency >= lower && frequency < upper) bands[bin] = static_cast<int>(band);
    }
  }
  return bands;
}

// As many frames as Floats holds from `n` on, windowed, left into re and right into im. A frame
// is a 32-bit lane whose halves, shifted down with their sign, are its two values; the products
// are the scalar loop's.
template <typename Floats, typename Frames>
[[gnu::always_inline]] inline void windowLanes(const std::uint8_t* pcm, const float* window,
                                               float* re, float* im, std::size_t n) {
  Frames frames;
  Floats w;
  std::memcpy(&frames, pcm + n * engine::kFrameBytes, sizeof frames);
  std::memcpy(&w, window + n, sizeof w);
  const Floats left = w * __builtin_convertvector((frames << 16) >> 16, Floats);
  const Floats right = w * __builtin_convertvector(frames >> 16, Floats);
  std::memcpy(re + n, &left, sizeof left);
  std::memcpy(im + n, &right, sizeof right);
}

#if defined(SONBALANCER_AVX512)
__attribute__((target("avx512f"))) std::size_t windowFramesSixteenWide(const std::uint8_t* pcm,
                                                                       const float* window,
                                                                       float* re, float* im) {
  using SixteenFrames = std::int32_t __attribute__((vector_size(kVectorFloats * sizeof(float))));
  for (std::size_t n = 0; n < kTransformFrames; n += kVectorFloats) {
    windowLanes<SixteenFloats, SixteenFrames>(pcm, window, re, im, n);
  }
  return kTransformFrames;
}
#endif

// A whole transform's frames from pcm, windowed, left into re and right into im; how many it
// did.
std::size_t windowFrames([[maybe_unused]] const std::uint8_t* pcm,
                         [[maybe_unused]] const float* window, [[maybe_unused]] float* re,
                         [[maybe_unused]] float* im) {
#if defined(SONBALANCER_AVX512)
  if (engine::hasAvx512()) return windowFramesSixteenWide(pcm, window, re, im);
#endif
#if defined(SONBALANCER_SSE2)
  using FourFrames = std::int32_t __attribute__((vector_size(4 * sizeof(float))));
  for (std::size_t n = 0; n < kTransformFrames; n += 4) {
    windowLanes<FourFloats, FourFrames>(pcm, window, re, im, n);
  }
  return kTransformFrames;
#else
  return 0;
#endif
}

}  // namespace

ThirdOctaveLevels thirdOctaveLevels(const std::uint8_t* pcm, std::uint32_t byteCount) {
  static const std::vector<int> kBandOfBin = bandOfBins();
  const std::size_t frames = byteCount / engine::kFrameBytes;
  std::vector<float> window(kTransformFrames);
  double windowSquares = 0.0;
  for (std::size_t n = 0; n < kTransformFrames; ++n) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(n) /
                                          static_cast<double>(kTransformFrames));
    window[n] = static_cast<float>(w);
    windowSquares += w * w;
  }
  // The transforms' starts, evenly spread from the first frame to the last whole transform.
  const std::size_t whole = frames / kTransformFrames;
  const std::size_t count = std::clamp<std::size_t>(whole, 1, kMostTransforms);
  std::vector<double> power(kThirdOctaveBands, 0.0);
  std::vector<float> re(kTransformFrames);
  std::vector<float> im(kTransformFrames);
  for (std::size_t t = 0; t < count; ++t) {
    const std::size_t start =
        whole <= 1 ? 0 : (frames - kTransformFrames) * t / (count > 1 ? count - 1 : 1);
    // Left as the real part and right as the imaginary: one transform serves both channels.
    const std::size_t windowed =
        start + kTransformFrames <= frames
            ? windowFrames(pcm + start * engine::kFrameBytes, window.data(), re.data(), im.data())
            : 0;
    for (std::size_t n = windowed; n < kTransformFrames; ++n) {
      const std::size_t frame = start + n;
      const bool inside = frame < frames;
      const std::uint8_t* at = pcm + frame * engine::kFrameBytes;
      re[n] = inside ? window[n] * static_cast<float>(engine::loadSample(at)) : 0.0f;
      im[n] = inside ? window[n] * static_cast<float>(engine::loadSample(at + engine::kRightOffset))
                     : 0.0f;
    }
    transform().run(re.data(), im.data());
    // |L(k)|² + |R(k)|² = (|Z(k)|² + |Z(N−k)|²) / 2 for Z = L + iR. A band's bins lie side by
    // side, so its sum is carried from bin to bin and stored once.
    int band = -1;
    double sum = 0.0;
    for (std::size_t bin = 1; bin < kTransformFrames / 2; ++bin) {
      const int binBand = kBandOfBin[bin];
      if (binBand < 0) continue;
      if (binBand != band) {
        if (band >= 0) power[band] = sum;
        band = binBand;
        sum = power[band];
      }
      const std::size_t mirror = kTransformFrames - bin;
      sum += double{re[bin]} * re[bin] + double{im[bin]} * im[bin] +
             double{re[mirror]} * re[mirror] + double{im[mirror]} * im[mirror];
    }
    if (band >= 0) power[band] = sum;
  }
  // Parseval: a channel's bins k and N−k together hold 2·|X(k)|² of its N·Σ(w·x)², so a band's
  // mean square over both channels is Σ(|Z(k)|² + |Z(N−k)|²) / (2·N·Σw²), averaged over the
  // transforms.
  const double scale = 1.0 / (static_cast<double>(count) * kTransformFrames * windowSquares * 2.0 *
                              kFullScale * kFullScale);
  ThirdOctaveLevels levels;
  for (std::size_t band = 0; band < kThirdOctaveBands; ++band) {
    const double meanSquare = power[band] * scale;
    levels[band] =
        meanSquare > 0.0 ? 10.0 * std::log10(meanSquare) : -std::numeric_limits<double>::infinity();
  }
  return levels;
}

}  // namespace loudness
