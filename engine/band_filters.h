// The filters of the band split: two one-pole low-passes per channel divide a track into a
// low band (the slow low-pass), a middle band (fast minus slow) and a high band (the scaled
// input minus fast).
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <optional>

namespace engine {

// The signal constants are single-precision values and the products are formed in double:
// 0.71f lies just below 0.71, so a difference of 100 steps the fast low-pass by 70, not 71.
constexpr float kInputScale = 0.85f;
constexpr float kFastCoefficient = 0.71f;
constexpr float kSlowCoefficient = 0.013f;
// Middle and high band values are held within ±kBandLimit.
constexpr int kBandLimit = 32766;

// The filters do that arithmetic in integers. A single-precision constant is exactly
// numerator / 2^shift with a numerator of at most 24 bits; a value of at most 17 bits times it
// is exact in double, so truncating that product toward zero gives what dividing
// value × numerator by 2^shift in 64-bit integers gives.
struct ExactCoefficient {
  std::int64_t numerator;
  int shift;
};

constexpr ExactCoefficient exactCoefficient(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  std::int64_t numerator = (bits & 0x7F'FFFF) | 0x80'0000;
  int shift = 23 - (static_cast<int>((bits >> 23) & 0xFF) - 127);
  while (numerator % 2 == 0) {
    numerator /= 2;
    --shift;
  }
  return {numerator, shift};
}

inline constexpr ExactCoefficient kExactInputScale = exactCoefficient(kInputScale);
inline constexpr ExactCoefficient kExactFastCoefficient = exactCoefficient(kFastCoefficient);
inline constexpr ExactCoefficient kExactSlowCoefficient = exactCoefficient(kSlowCoefficient);

// trunc(value × 0.85f) in integers: 20 gives 17 and −20 gives −17.
constexpr int scaledInputExactly(int value) {
  return static_cast<int>(value * kExactInputScale.numerator /
                          (std::int64_t{1} << kExactInputScale.shift));
}

// state + trunc((x − state) × c) for c = n / 2^s, the new state of a low-pass. Adding 2^s − 1
// to a negative product before the flooring shift makes the shift truncate toward zero. That
// bias hangs on the sign of the difference alone, so it is ready before the product: the
// state's own chain is subtract, multiply, add, shift, add. States are held in 64 bits so that
// no widening sits on that chain. |x − state| must stay below 2^17.
constexpr std::int64_t lowPassed(std::int64_t state, std::int64_t x, ExactCoefficient c) {
  const std::int64_t difference = x - state;
  const std::int64_t towardZero = (difference >> 63) & ((std::int64_t{1} << c.shift) - 1);
  return state + ((difference * c.numerator + towardZero) >> c.shift);
}

// The two low-passes of one channel.
struct ChannelState {
  std::int64_t slow;
  std::int64_t fast;
  bool operator==(const ChannelState&) const = default;
};

// Filter states of both channels.
struct FrameFilter {
  ChannelState left;
  ChannelState right;
  bool operator==(const FrameFilter&) const = default;
};

// The split works in blocks of this many bytes of frames, small enough for the three planes
// of a block to stay in the first-level cache while its bands are recorded.
constexpr std::uint32_t kBlockBytes = 8192;

// The end of the block that starts at begin, in a walk that ends at end.
constexpr std::uint32_t blockEndAfter(std::uint32_t begin, std::uint32_t end) {
  return end - begin > kBlockBytes ? begin + kBlockBytes : end;
}

// The filters over the frames of [begin, end) of samples, at most one block: each value is
// replaced by its middle band and the low and high bands go to the same place of their planes,
// targetLength and 2 × targetLength further on. filter carries the states across blocks.
void splitBlock(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                std::uint32_t end, FrameFilter& filter);

// The states a pass's split starts from: each channel's at its first value, unscaled.
FrameFilter firstFrameStates(const std::uint8_t* samples);

// The filter states after the frames of [begin, end) of samples, whatever the states were at
// begin, when those frames prove it; nothing is written. Each step s ↦ s + trunc((x − s)·c) is
// monotone in s, so when the runs from the lowest and the highest possible state meet, every
// run between them has met them too. They need not meet: a state comes to rest within 1 / c
// of a steady input, wherever it started.
std::optional<FrameFilter> provenFilterState(const std::uint8_t* samples, std::uint32_t begin,
                                             std::uint32_t end);

// The frames before a join from which its states are asked to be proven: on music the runs
// meet within a few blocks.
constexpr std::uint32_t kJoinProofBytes = 16 * kBlockBytes;

// Two stretches of `bytes` bytes of frames (at most a block each) split as splitBlock splits
// them, each carrying its own filter states, their filters side by side: the squares of each
// band's values are added to sums[channel][low, middle, high] and nothing is written. One
// stretch's recurrences alone leave the processor waiting on each state. False, with nothing
// done, where the processor has no AVX2.
bool addBandSquaresSideBySide(const std::uint8_t* first, const std::uint8_t* second,
                              std::uint32_t bytes, FrameFilter& firstFilter,
                              FrameFilter& secondFilter, std::int64_t (&sums)[2][3]);

constexpr std::size_t kFourStretches = 4;

// Whether addBandSquaresFourSideBySide can run on this processor (AVX-512).
bool canAddFourSideBySide();

// As addBandSquaresSideBySide, four stretches side by side. False, with nothing done, where the
// processor cannot.
bool addBandSquaresFourSideBySide(const std::array<const std::uint8_t*, kFourStretches>& stretches,
                                  std::uint32_t bytes,
                                  std::array<FrameFilter, kFourStretches>& filters,
                                  std::int64_t (&sums)[2][3]);

}  // namespace engine
