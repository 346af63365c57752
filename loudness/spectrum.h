// The spectrum of 44100 Hz stereo audio in third-octave bands, for a person to see at a glance
// how a track's tonal balance changed: the mean power in each band of both channels, from
// Hann-windowed Fourier transforms of frames spread evenly over the track.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace loudness {

// The third-octave bands from 31.5 Hz to 16 kHz (base ten: 1 kHz × 10^(n/10) for n from -15 to
// 12); the highest band whose upper edge lies below 22.05 kHz.
inline constexpr std::size_t kThirdOctaveBands = 28;
// Their nominal centres in Hz, as they are labelled.
inline constexpr std::array<double, kThirdOctaveBands> kThirdOctaveCentresHz = {
    31.5, 40,   50,   63,   80,   100,  125,  160,  200,  250,  315,  400,   500,   630,
    800,  1000, 1250, 1600, 2000, 2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000};

// Each band's level in dBFS: 10·log10 of the mean over both channels of the band's mean square,
// full scale 32768, so that a full-scale sine in both channels reads -3.01 dBFS in its band;
// -infinity for a band with no power.
using ThirdOctaveLevels = std::array<double, kThirdOctaveBands>;

// The levels of the little-endian 16-bit stereo frames in [0, byteCount), from at most
// kMostTransforms transforms of 8192 frames (186 ms each) spread evenly from the start to the
// end: 18 s of a track, enough for a mean spectrum that holds still to a few tenths of a dB,
// at a cost that stays small whatever the length. A shorter track is taken whole, its last
// transform padded with silence.
ThirdOctaveLevels thirdOctaveLevels(const std::uint8_t* pcm, std::uint32_t byteCount);

inline constexpr std::size_t kMostTransforms = 96;

}  // namespace loudness
