#include "report/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace report {

namespace {

constexpr unsigned kChannels = 2;
constexpr unsigned long kSampleRate = 44100;
// libebur128 takes its frames in blocks; a second at a time keeps the copy small.
constexpr std::size_t kBlockFrames = 44100;

}  // namespace

struct MeterState {
  ebur128_state* meter = nullptr;
  ~MeterState() {
    if (meter) ebur128_destroy(&meter);
  }
};

double decibels(double amplitude) {
  return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : -std::numeric_limits<double>::infinity();
}

namespace {

// The larger true peak of both channels of a meter set up with EBUR128_MODE_TRUE_PEAK.
double truePeakDbtpOf(ebur128_state* meter) {
  if (meter == nullptr) return -std::numeric_limits<double>::infinity();
  double peak = 0.0;
  for (unsigned channel = 0; channel < kChannels; ++channel) {
    double channelPeak = 0.0;
    if (ebur128_true_peak(meter, channel, &channelPeak) == EBUR128_SUCCESS) {
      peak = std::max(peak, channelPeak);
    }
  }
  return decibels(peak);
}

}  // namespace

TruePeakMeter::TruePeakMeter() : state_(std::make_unique<MeterState>()) {
  state_->meter = ebur128_init(kChannels, kSampleRate, EBUR128_MODE_TRUE_PEAK);
}

TruePeakMeter::~TruePeakMeter() = default;

bool TruePeakMeter::ready() const { return state_->meter != nullptr; }

void TruePeakMeter::addPcm16(const std::int16_t* samples, std::size_t frames) {
  if (ready() && frames > 0) ebur128_add_frames_short(state_->meter, samples, frames);
}

void TruePeakMeter::addFloat(const float* samples, std::size_t frames) {
  if (ready() && frames > 0) ebur128_add_frames_float(state_->meter, samples, frames);
}

double TruePeakMeter::truePeakDbtp() const { return truePeakDbtpOf(state_->meter); }

LoudnessMeter::LoudnessMeter() : state_(std::make_unique<MeterState>()) {
  // The histogram keeps the memory fixed and gives the programme loudness of several meters.
  state_->meter = ebur128_init(kChannels, kSampleRate,
                               EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM | EBUR128_MODE_TRUE_PEAK);
}

LoudnessMeter::~LoudnessMeter() = default;

bool LoudnessMeter::ready() const { return state_->meter != nullptr; }

void LoudnessMeter::addFloat(const float* samples, std::size_t frames) {
  if (ready() && frames > 0) ebur128_add_frames_float(state_->meter, samples, frames);
}

double LoudnessMeter::integratedLufs() const { return programmeLoudnessLufs({this}); }

double LoudnessMeter::truePeakDbtp() const { return truePeakDbtpOf(state_->meter); }

double programmeLoudnessLufs(const std::vector<const LoudnessMeter*>& meters) {
  std::vector<ebur128_state*> states;
  for (const LoudnessMeter* meter : meters) {
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

double truePeakDbtpOfPcm16(const std::uint8_t* bytes, std::size_t byteCount) {
  TruePeakMeter meter;
  const std::size_t frames = byteCount / (kChannels * sizeof(std::int16_t));
  // The bytes may lie anywhere in the sample block, so they are copied into aligned values.
  std::vector<std::int16_t> block(kBlockFrames * kChannels);
  for (std::size_t frame = 0; frame < frames; frame += kBlockFrames) {
    const std::size_t count = std::min(kBlockFrames, frames - frame);
    std::memcpy(block.data(), bytes + frame * kChannels * sizeof(std::int16_t),
                count * kChannels * sizeof(std::int16_t));
    meter.addPcm16(block.data(), count);
  }
  return meter.truePeakDbtp();
}

}  // namespace report
