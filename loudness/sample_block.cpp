#include "loudness/sample_block.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/simd.h"
#include "loudness/pcm16_extremes.h"

namespace loudness {

namespace {

float peakOf(const float* samples, std::size_t count) {
  float peak = 0.0f;
  for (std::size_t i = 0; i < count; ++i) peak = std::max(peak, std::fabs(samples[i]));
  return peak;
}

std::int16_t pcm16At(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
}

}  // namespace

float* SampleBlock::startBlock(std::size_t frames) {
  if (buffer_.empty()) buffer_.assign((kHistoryFrames + kSampleBlockFrames) * kChannels, 0.0f);
  // The last kHistoryFrames frames so far end where the previous block ended, whatever its size.
  std::memmove(buffer_.data(), buffer_.data() + frames_ * kChannels,
               kHistoryFrames * kChannels * sizeof(float));
  frames_ = frames;
  return buffer_.data() + kHistoryFrames * kChannels;
}

void SampleBlock::finishBlock() {
  const std::size_t stretches = (frames_ + kStretchFrames - 1) / kStretchFrames;
  peak_ = *std::max_element(stretchPeaks_, stretchPeaks_ + stretches);
  historyPeak_ = peakOf(buffer_.data(), kHistoryFrames * kChannels);
  reachPeak_ = std::max(peak_, historyPeak_);
}

#if defined(SONBALANCER_SSE2)

namespace {

float largestLane(__m128 peaks) {
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, peaks);
  return std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
}

// Converts `count` samples into out and gives their peak.
float loadPcm16Stretch(const std::uint8_t* bytes, std::size_t count, float* out) {
  const std::size_t vectorEnd = count / 8 * 8;
  const __m128 scale = _mm_set1_ps(kPcm16Scale);
  const __m128 magnitudeBits = _mm_castsi128_ps(_mm_set1_epi32(0x7FFF'FFFF));
  __m128 peaks = _mm_setzero_ps();
  for (std::size_t i = 0; i < vectorEnd; i += 8) {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
    // Each sample doubled into a 32-bit lane and shifted back down extends its sign.
    const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(values, values), 16);
    const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(values, values), 16);
    const __m128 first = _mm_mul_ps(_mm_cvtepi32_ps(low), scale);
    const __m128 second = _mm_mul_ps(_mm_cvtepi32_ps(high), scale);
    _mm_storeu_ps(out + i, first);
    _mm_storeu_ps(out + i + 4, second);
    peaks = _mm_max_ps(
        peaks, _mm_max_ps(_mm_and_ps(first, magnitudeBits), _mm_and_ps(second, magnitudeBits)));
  }
  float peak = largestLane(peaks);
  for (std::size_t i = vectorEnd; i < count; ++i) {
    out[i] = static_cast<float>(pcm16At(bytes + 2 * i)) * kPcm16Scale;
    peak = std::max(peak, std::fabs(out[i]));
  }
  return peak;
}

// The largest magnitude of `count` samples, from their largest and smallest, eight at a time.
std::int32_t pcm16Magnitude(const std::uint8_t* bytes, std::size_t count) {
  const std::size_t vectorEnd = count / 8 * 8;
  Pcm16Extremes extremes;
  for (std::size_t i = 0; i < vectorEnd; i += 8) {
    extremes.add(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i)));
  }
  std::int32_t magnitude = extremes.magnitude();
  for (std::size_t i = vectorEnd; i < count; ++i) {
    magnitude = std::max(magnitude, std::abs(std::int32_t{pcm16At(bytes + 2 * i)}));
  }
  return magnitude;
}

// One whole stretch: its extremes gathered eight samples at a time and folded in the vector.
float wholeStretchPeak(const std::uint8_t* bytes) {
  static_assert(kStretchFrames * kChannels % 8 == 0);
  __m128i largest = _mm_set1_epi16(0);
  __m128i smallest = _mm_set1_epi16(0);
  for (std::size_t i = 0; i < kStretchFrames * kChannels; i += 8) {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 2 * i));
    largest = _mm_max_epi16(largest, values);
    smallest = _mm_min_epi16(smallest, values);
  }
  largest = _mm_max_epi16(largest, _mm_unpackhi_epi64(largest, largest));
  smallest = _mm_min_epi16(smallest, _mm_unpackhi_epi64(smallest, smallest));
  largest = _mm_max_epi16(largest, _mm_srli_epi64(largest, 32));
  smallest = _mm_min_epi16(smallest, _mm_srli_epi64(smallest, 32));
  largest = _mm_max_epi16(largest, _mm_srli_epi64(largest, 16));
  smallest = _mm_min_epi16(smallest, _mm_srli_epi64(smallest, 16));
  const std::int32_t high = static_cast<std::int16_t>(_mm_extract_epi16(largest, 0));
  const std::int32_t low = static_cast<std::int16_t>(_mm_extract_epi16(smallest, 0));
  return static_cast<float>(std::max(high, -low)) * kPcm16Scale;
}

float loadFloatStretch(const float* samples, std::size_t count, float* out) {
  const std::size_t vectorEnd = count / 4 * 4;
  const __m128 magnitudeBits = _mm_castsi128_ps(_mm_set1_epi32(0x7FFF'FFFF));
  __m128 peaks = _mm_setzero_ps();
  for (std::size_t i = 0; i < vectorEnd; i += 4) {
    const __m128 values = _mm_loadu_ps(samples + i);
    _mm_storeu_ps(out + i, values);
    peaks = _mm_max_ps(peaks, _mm_and_ps(values, magnitudeBits));
  }
  float peak = largestLane(peaks);
  for (std::size_t i = vectorEnd; i < count; ++i) {
    out[i] = samples[i];
    peak = std::max(peak, std::fabs(out[i]));
  }
  return peak;
}

}  // namespace

#else

namespace {

float loadPcm16Stretch(const std::uint8_t* bytes, std::size_t count, float* out) {
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<float>(pcm16At(bytes + 2 * i)) * kPcm16Scale;
  }
  return peakOf(out, count);
}

float loadFloatStretch(const float* samples, std::size_t count, float* out) {
  std::memcpy(out, samples, count * sizeof(float));
  return peakOf(out, count);
}

std::int32_t pcm16Magnitude(const std::uint8_t* bytes, std::size_t count) {
  std::int32_t magnitude = 0;
  for (std::size_t i = 0; i < count; ++i) {
    magnitude = std::max(magnitude, std::abs(std::int32_t{pcm16At(bytes + 2 * i)}));
  }
  return magnitude;
}

}  // namespace

#endif

#if defined(SONBALANCER_AVX512)
namespace {

SONBALANCER_AVX512_WALKS_BEGIN
// Whole stretches, two vectors each: the magnitudes of its 64 samples (-32768's is 32768 as an
// unsigned word) folded down to one.
__attribute__((target("avx512f,avx512bw"))) void wholeStretchPeaksSixteenWide(
    const std::uint8_t* bytes, std::size_t stretches, float* peaks) {
  static_assert(kStretchFrames * kPcm16FrameBytes == 2 * sizeof(__m512i));
  const __m128i allBits = _mm_set1_epi32(-1);
  for (std::size_t k = 0; k < stretches; ++k) {
    const std::uint8_t* stretch = bytes + k * 2 * sizeof(__m512i);
    const __m512i magnitudes = _mm512_max_epu16(_mm512_abs_epi16(_mm512_loadu_si512(stretch)),
                                                _mm512_abs_epi16(_mm512_loadu_si512(stretch + 64)));
    const __m256i sixteen = _mm256_max_epu16(_mm512_castsi512_si256(magnitudes),
                                             _mm512_extracti64x4_epi64(magnitudes, 1));
    const __m128i eight =
        _mm_max_epu16(_mm256_castsi256_si128(sixteen), _mm256_extracti128_si256(sixteen, 1));
    // The largest of eight is the complement of the smallest of their complements.
    const __m128i smallest = _mm_minpos_epu16(_mm_xor_si128(eight, allBits));
    const int magnitude = (~_mm_cvtsi128_si32(smallest)) & 0xFFFF;
    peaks[k] = static_cast<float>(magnitude) * kPcm16Scale;
  }
}
SONBALANCER_AVX512_WALKS_END

}  // namespace
#endif

void pcm16StretchPeaks(const std::uint8_t* bytes, std::size_t frames, float* peaks) {
  const std::size_t whole = frames / kStretchFrames;
  constexpr std::size_t kStretchBytes = kStretchFrames * kPcm16FrameBytes;
  std::size_t k = 0;
#if defined(SONBALANCER_AVX512)
  if (engine::hasAvx512()) {
    wholeStretchPeaksSixteenWide(bytes, whole, peaks);
    k = whole;
  }
#endif
  for (; k < whole; ++k) {
#if defined(SONBALANCER_SSE2)
    peaks[k] = wholeStretchPeak(bytes + k * kStretchBytes);
#else
    peaks[k] = pcm16SamplePeak(bytes + k * kStretchBytes, kStretchFrames);
#endif
  }
  if (whole * kStretchFrames < frames) {
    peaks[whole] = pcm16SamplePeak(bytes + whole * kStretchBytes, frames - whole * kStretchFrames);
  }
}

void pcm16ToFloat(const std::uint8_t* bytes, std::size_t samples, float* out) {
  loadPcm16Stretch(bytes, samples, out);
}

float pcm16SamplePeak(const std::uint8_t* bytes, std::size_t frames) {
  return static_cast<float>(pcm16Magnitude(bytes, frames * kChannels)) * kPcm16Scale;
}

void SampleBlock::loadPcm16(const std::uint8_t* bytes, std::size_t frames) {
  float* out = startBlock(frames);
  for (std::size_t k = 0; k * kStretchFrames < frames; ++k) {
    const std::size_t first = k * kStretchFrames * kChannels;
    const std::size_t count = std::min(kStretchFrames, frames - k * kStretchFrames) * kChannels;
    stretchPeaks_[k] = loadPcm16Stretch(bytes + first * 2, count, out + first);
  }
  finishBlock();
}

void SampleBlock::loadFloat(const float* samples, std::size_t frames) {
  float* out = startBlock(frames);
  for (std::size_t k = 0; k * kStretchFrames < frames; ++k) {
    const std::size_t first = k * kStretchFrames * kChannels;
    const std::size_t count = std::min(kStretchFrames, frames - k * kStretchFrames) * kChannels;
    stretchPeaks_[k] = loadFloatStretch(samples + first, count, out + first);
  }
  finishBlock();
}

}  // namespace loudness
