// Stand-ins for the window and the process log in engine tests: a host that records its gauge
// steps and the recording log, plus little helpers for frames in a sample buffer.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/pcm_access.h"
#include "engine/process_log.h"
#include "engine/track_host.h"
#include "tests/engine/recording_log.h"

namespace engine_testing {

// The six gain lines of a track whose bands are all at or below their thresholds: the caps.
inline constexpr const char* kCappedGainLines =
    "Left channel low freq: 40.000000\n"
    "Right channel low freq: 40.000000\n"
    "Left channel middle freq: 10.000000\n"
    "Right channel middle freq: 10.000000\n"
    "Left channel high freq: 56.000000\n"
    "Right channel high freq: 56.000000\n\n";

class RecordingHost final : public engine::TrackHost {
 public:
  bool noBassline = false;
  bool ignoreClicks = false;
  // (percent, pauseMs) of every gauge step, in order.
  std::vector<std::pair<int, int>> gaugeSteps;

  bool noBasslineTicked() override { return noBassline; }
  bool ignoreClicksTicked() override { return ignoreClicks; }
  void fileGaugeStep(int percent, int pauseMs) override {
    gaugeSteps.emplace_back(percent, pauseMs);
  }
};

// A sample buffer of three planes for the given frames (left, right), planes filled with a
// pattern so that a plane left unwritten shows.
inline std::vector<std::uint8_t> bufferOfFrames(const std::vector<std::pair<int, int>>& frames) {
  std::vector<std::uint8_t> buffer(frames.size() * 4 * 3, 0xA5);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    engine::storeSample(buffer.data() + 4 * i, static_cast<std::int16_t>(frames[i].first));
    engine::storeSample(buffer.data() + 4 * i + 2, static_cast<std::int16_t>(frames[i].second));
  }
  return buffer;
}

// Value of channel (0 left, 1 right) of frame in plane (0 PCM region, 1 low, 2 high).
inline int planeValue(const std::vector<std::uint8_t>& buffer, int plane, std::size_t frame,
                      int channel) {
  const std::size_t targetLength = buffer.size() / 3;
  return engine::loadSample(buffer.data() + plane * targetLength + 4 * frame + 2 * channel);
}

}  // namespace engine_testing
