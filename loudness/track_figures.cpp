#include "loudness/track_figures.h"

#include "loudness/decibels.h"
#include "loudness/loudness_range.h"
#include "loudness/track_measurement.h"

namespace loudness {

namespace {

BandLevels factorLevels(const engine::ChannelGains& gains) {
  return BandLevels{decibels(gains.low), decibels(gains.middle), decibels(gains.high)};
}

}  // namespace

TrackFigures measureTrack(const std::uint8_t* pcm, std::uint32_t byteCount, bool withBands) {
  TrackMeter meter;
  meter.addWholePcm16(pcm, byteCount / kPcm16FrameBytes);
  const TrackMeasures measures = meter.measures();
  TrackFigures figures;
  figures.integratedLufs = measures.integratedLufs;
  figures.loudnessRangeLu = loudnessRangeLu(meter.loudness());
  figures.truePeakDbtp = decibels(measures.truePeak);
  figures.samplePeakDbfs = decibels(measures.samplePeak);
  if (withBands) figures.bands = bandLevelsOfSplit(pcm, byteCount);
  figures.spectrum = thirdOctaveLevels(pcm, byteCount);
  return figures;
}

void TrackMeasurer::loaded(const std::uint8_t* samples, std::uint32_t targetLength) {
  seconds = static_cast<double>(targetLength / kPcm16FrameBytes) / kSampleRateHz;
  before = measureTrack(samples, targetLength, false);
}

void TrackMeasurer::firstSplitBlock(const std::uint8_t* samples, std::uint32_t targetLength,
                                    std::uint32_t begin, std::uint32_t end) {
  firstSplit_.addPlanes(samples, targetLength, begin, end);
}

void TrackMeasurer::passGains(const engine::Gains& gains) {
  if (passes == 0) before.bands = firstSplit_.levels();
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
  engineBandFactorsDb = StereoBands{factorLevels(total_.left), factorLevels(total_.right)};
}

}  // namespace loudness
