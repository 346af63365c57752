#include "loudness/album_loudness.h"

#include <ebur128.h>

#include <limits>

namespace loudness {

struct HistogramState {
  ebur128_state* meter = nullptr;
  ~HistogramState() {
    if (meter) ebur128_destroy(&meter);
  }
};

AlbumMeter::AlbumMeter() : state_(std::make_unique<HistogramState>()) {
  state_->meter = ebur128_init(kChannels, static_cast<unsigned long>(kSampleRateHz),
                               EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
}

AlbumMeter::~AlbumMeter() = default;

bool AlbumMeter::ready() const { return state_->meter != nullptr; }

void AlbumMeter::addFloat(const float* samples, std::size_t frames) {
  if (frames == 0) return;
  peaks_.addFloat(samples, frames);
  if (ready()) ebur128_add_frames_float(state_->meter, samples, frames);
}

double AlbumMeter::integratedLufs() const { return albumLoudnessLufs({this}); }

double albumLoudnessLufs(const std::vector<const AlbumMeter*>& meters) {
  std::vector<ebur128_state*> states;
  for (const AlbumMeter* meter : meters) {
    if (meter && meter->ready()) states.push_back(meter->state_->meter);
  }
  double loudness = -std::numeric_limits<double>::infinity();
  // libebur128 reads the states without changing them, though its prototype is not const.
  if (states.empty() || ebur128_loudness_global_multiple(states.data(), states.size(), &loudness) !=
                            EBUR128_SUCCESS) {
    return -std::numeric_limits<double>::infinity();
  }
  return loudness;
}

}  // namespace loudness
