// Music-like 44100 Hz stereo audio made by the tests and benchmarks: pink noise, a changing
// chord, kick, snare and hats, in sections of different loudness with a silent one; and its
// 16-bit forms.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace testing_support {

inline constexpr double kSampleRateHz = 44100.0;

// `seconds` of interleaved stereo floats whose sample peak is `peakDbfs`; above 0 the audio is
// clipped at full scale as a hot master is. Sections of 2.5 s run at full, half, a twentieth
// and no level in turn, so both gates of the loudness have blocks to drop; without
// `quietSections`, at full, 0.7, half and 0.85, as a song's parts do.
inline std::vector<float> musicLike(double seconds, double peakDbfs, std::uint32_t seed = 1,
                                    bool quietSections = true) {
  const auto frames = static_cast<std::size_t>(seconds * kSampleRateHz);
  std::vector<float> samples(frames * 2);
  std::mt19937 random(seed);
  // mt19937's words are the same everywhere; the library's distributions are not.
  auto white = [&random] { return static_cast<double>(random()) / 2147483648.0 - 1.0; };
  constexpr double kChords[4][3] = {{220.0, 277.18, 329.63},
                                    {196.0, 246.94, 293.66},
                                    {174.61, 220.0, 261.63},
                                    {164.81, 207.65, 246.94}};
  constexpr double kQuietSectionGains[4] = {1.0, 0.5, 0.05, 0.0};
  constexpr double kSongSectionGains[4] = {1.0, 0.7, 0.5, 0.85};
  const double* sectionGains = quietSections ? kQuietSectionGains : kSongSectionGains;
  double pink[2][3] = {};
  double kickPhase = 0.0;
  double previousWhite = 0.0;
  double largest = 0.0;
  for (std::size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / kSampleRateHz;
    const double beat = std::fmod(t, 0.5);
    const double offBeat = std::fmod(t + 0.25, 0.5);
    const double eighth = std::fmod(t, 0.125);
    kickPhase += 2 * std::numbers::pi * (50.0 + 120.0 * std::exp(-beat / 0.03)) / kSampleRateHz;
    const double kick = 0.8 * std::exp(-beat / 0.15) * std::sin(kickPhase);
    const double noise = white();
    const double snare = 0.5 * std::exp(-offBeat / 0.05) * noise;
    const double hat = 0.2 * std::exp(-eighth / 0.01) * (noise - previousWhite);
    previousWhite = noise;
    const double* chord = kChords[static_cast<std::size_t>(t / 2.0) % 4];
    const double gain = sectionGains[static_cast<std::size_t>(t / 2.5) % 4];
    for (int channel = 0; channel < 2; ++channel) {
      // Pink noise from white by three one-pole filters of staggered corners.
      const double w = white();
      double* b = pink[channel];
      b[0] = 0.99765 * b[0] + w * 0.0990460;
      b[1] = 0.96300 * b[1] + w * 0.2965164;
      b[2] = 0.57000 * b[2] + w * 1.0526913;
      double tones = 0.0;
      for (int note = 0; note < 3; ++note) {
        const double pan = channel == 0 ? 1.0 - 0.3 * note : 0.4 + 0.3 * note;
        tones += 0.15 * pan * std::sin(2 * std::numbers::pi * chord[note] * t + note);
      }
      const double mixed =
          gain * (0.1 * (b[0] + b[1] + b[2] + w * 0.1848) + tones + kick + snare + hat);
      samples[2 * n + channel] = static_cast<float>(mixed);
      largest = std::max(largest, std::fabs(mixed));
    }
  }
  const double scale = largest > 0.0 ? std::pow(10.0, peakDbfs / 20.0) / largest : 0.0;
  for (float& sample : samples) {
    sample = static_cast<float>(std::clamp(sample * scale, -1.0, 1.0));
  }
  return samples;
}

// Rounded to 16 bits, -32768 being full scale, clipped.
inline std::vector<std::int16_t> pcm16Of(const std::vector<float>& samples) {
  std::vector<std::int16_t> values(samples.size());
  std::transform(samples.begin(), samples.end(), values.begin(), [](float sample) {
    return static_cast<std::int16_t>(std::clamp(std::lround(sample * 32768.0), -32768L, 32767L));
  });
  return values;
}

// Little-endian bytes of 16-bit samples, as the engine's buffers hold them.
inline std::vector<std::uint8_t> pcm16Bytes(const std::vector<std::int16_t>& values) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(values.size() * 2);
  for (std::int16_t value : values) {
    const auto bits = static_cast<std::uint16_t>(value);
    bytes.push_back(static_cast<std::uint8_t>(bits & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
  }
  return bytes;
}

}  // namespace testing_support
