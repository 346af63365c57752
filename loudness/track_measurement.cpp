#include "loudness/track_measurement.h"

#include <algorithm>

namespace loudness {

void TrackMeter::addBlock() {
  peaks_.add(block_);
  loudness_.add(block_);
}

void TrackMeter::addPcm16(const std::uint8_t* bytes, std::size_t frames) {
  for (std::size_t done = 0; done < frames; done += kBlockFrames) {
    block_.loadPcm16(bytes + done * kPcm16FrameBytes, std::min(kBlockFrames, frames - done));
    addBlock();
  }
}

void TrackMeter::addFloat(const float* samples, std::size_t frames) {
  for (std::size_t done = 0; done < frames; done += kBlockFrames) {
    block_.loadFloat(samples + done * kChannels, std::min(kBlockFrames, frames - done));
    addBlock();
  }
}

TrackMeasures TrackMeter::measures() const {
  return {peaks_.samplePeak(), peaks_.truePeak(), loudness_.integratedLufs()};
}

TrackMeasures measurePcm16(const std::uint8_t* bytes, std::size_t byteCount) {
  TrackMeter meter;
  meter.addPcm16(bytes, byteCount / kPcm16FrameBytes);
  return meter.measures();
}

}  // namespace loudness
