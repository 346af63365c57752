#include "loudness/track_measurement.h"

namespace loudness {

void TrackMeter::add(const SampleBlock& block) {
  peaks_.add(block);
  loudness_.add(block);
}

void TrackMeter::addPcm16(const std::uint8_t* bytes, std::size_t frames) {
  block_.walkPcm16(bytes, frames, [this](const SampleBlock& block) { add(block); });
}

void TrackMeter::addFloat(const float* samples, std::size_t frames) {
  block_.walkFloat(samples, frames, [this](const SampleBlock& block) { add(block); });
}

void TrackMeter::addWholePcm16(const std::uint8_t* bytes, std::size_t frames) {
  // The loudness's walk reads every sample, so the peak meter need not read them ahead.
  peaks_.addWholePcm16(bytes, frames, loudness_.addWholePcm16(bytes, frames));
}

TrackMeasures TrackMeter::measures() const {
  return {peaks_.samplePeak(), peaks_.truePeak(), loudness_.integratedLufs()};
}

TrackMeasures measurePcm16(const std::uint8_t* bytes, std::size_t byteCount) {
  TrackMeter meter;
  meter.addWholePcm16(bytes, byteCount / kPcm16FrameBytes);
  return meter.measures();
}

}  // namespace loudness
