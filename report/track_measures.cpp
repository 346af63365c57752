#include "report/track_measures.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/band_split.h"
#include "engine/pcm_access.h"
#include "report/loudness.h"

namespace report {

namespace {

constexpr std::size_t kFrameBytes = 4;
constexpr std::size_t kBlockFrames = 44100;
constexpr double kFullScale = 32768.0;

// The split moves no gauge and writes no log when it measures for the report.
class QuietHost final : public engine::TrackHost {
 public:
  bool noBasslineTicked() override { return false; }
  bool ignoreClicksTicked() override { return false; }
  void fileGaugeStep(int, int) override {}
};

// RMS of one channel (0 left, 1 right) of a plane of frames, in dBFS.
double rmsDbfs(const std::uint8_t* plane, std::uint32_t byteCount, int channel) {
  const std::size_t frames = byteCount / kFrameBytes;
  if (frames == 0) return decibels(0.0);
  double sum = 0.0;
  for (std::size_t frame = 0; frame < frames; ++frame) {
    const double value = engine::loadSample(plane + frame * kFrameBytes + 2 * channel);
    sum += value * value;
  }
  return decibels(std::sqrt(sum / frames) / kFullScale);
}

BandLevels channelLevels(const std::uint8_t* samples, std::uint32_t targetLength, int channel) {
  BandLevels levels;
  levels.mid = rmsDbfs(samples, targetLength, channel);
  levels.low = rmsDbfs(samples + targetLength, targetLength, channel);
  levels.high = rmsDbfs(samples + 2 * std::size_t{targetLength}, targetLength, channel);
  return levels;
}

BandLevels gainLevels(const engine::ChannelGains& gains) {
  return BandLevels{decibels(gains.low), decibels(gains.middle), decibels(gains.high)};
}

}  // namespace

TrackFigures loudnessFigures(const std::uint8_t* pcm, std::uint32_t byteCount) {
  TrackFigures figures;
  const double silence = -std::numeric_limits<double>::infinity();
  figures.integratedLufs = figures.loudnessRangeLu = figures.truePeakDbtp = figures.samplePeakDbfs =
      silence;
  ebur128_state* meter = ebur128_init(
      2, 44100, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_SAMPLE_PEAK);
  if (!meter) return figures;
  const std::size_t frames = byteCount / kFrameBytes;
  std::vector<std::int16_t> block(kBlockFrames * 2);
  for (std::size_t frame = 0; frame < frames; frame += kBlockFrames) {
    const std::size_t count = std::min(kBlockFrames, frames - frame);
    std::memcpy(block.data(), pcm + frame * kFrameBytes, count * kFrameBytes);
    ebur128_add_frames_short(meter, block.data(), count);
  }
  double value = 0.0;
  if (ebur128_loudness_global(meter, &value) == EBUR128_SUCCESS) figures.integratedLufs = value;
  if (ebur128_loudness_range(meter, &value) == EBUR128_SUCCESS) figures.loudnessRangeLu = value;
  double truePeak = 0.0;
  double samplePeak = 0.0;
  for (unsigned channel = 0; channel < 2; ++channel) {
    if (ebur128_true_peak(meter, channel, &value) == EBUR128_SUCCESS) truePeak = std::max(truePeak, value);
    if (ebur128_sample_peak(meter, channel, &value) == EBUR128_SUCCESS) {
      samplePeak = std::max(samplePeak, value);
    }
  }
  figures.truePeakDbtp = decibels(truePeak);
  figures.samplePeakDbfs = decibels(samplePeak);
  ebur128_destroy(&meter);
  return figures;
}

StereoBands bandLevelsOfPlanes(const std::uint8_t* samples, std::uint32_t targetLength) {
  return StereoBands{channelLevels(samples, targetLength, 0),
                     channelLevels(samples, targetLength, 1)};
}

StereoBands bandLevelsOfResult(std::uint8_t* samples, std::uint32_t targetLength) {
  QuietHost host;
  engine::SilentLog silent;
  engine::splitAndScan(samples, targetLength, false, host, silent);
  return bandLevelsOfPlanes(samples, targetLength);
}

void TrackMeasurer::loaded(const std::uint8_t* samples, std::uint32_t targetLength) {
  seconds = static_cast<double>(targetLength / kFrameBytes) / 44100.0;
  before = loudnessFigures(samples, targetLength);
}

void TrackMeasurer::firstSplit(const std::uint8_t* samples, std::uint32_t targetLength) {
  before.bands = bandLevelsOfPlanes(samples, targetLength);
}

void TrackMeasurer::passGains(const engine::Gains& gains) {
  ++passes;
  // In double: the report's product, never the engine's arithmetic.
  auto times = [](float& total, float gain) {
    total = static_cast<float>(double{total} * double{gain});
  };
  times(total_.left.low, gains.left.low);
  times(total_.left.middle, gains.left.middle);
  times(total_.left.high, gains.left.high);
  times(total_.right.low, gains.right.low);
  times(total_.right.middle, gains.right.middle);
  times(total_.right.high, gains.right.high);
  gainsDb = StereoBands{gainLevels(total_.left), gainLevels(total_.right)};
}

}  // namespace report
