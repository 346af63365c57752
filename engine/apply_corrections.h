// The application pass: the three band planes, each weighted by its gain, are recombined into
// finished frames through a limiter that keeps every value within ±32766.
#pragma once

#include <cstdint>

#include "engine/gains.h"
#include "engine/process_log.h"

namespace engine {

// Output limit of the recombined signal, one short of full scale.
constexpr float kClampLevel = 32766.0f;
// A clamped channel's gains are scaled so that the clamping band values would give this.
constexpr float kResetLevel = 32764.0f;

// The application of one pass, in place: for every frame of [0, targetLength) the middle band there
// and the low and high bands at targetLength and 2 × targetLength further on are recombined into
// the frame. The planes are read only. Cannot fail.
void applyCorrections(std::uint8_t* samples, std::uint32_t targetLength, const Gains& gains,
                      bool ignoreClicks, ProcessLog& log);

// One channel's gains for the length of a pass, in double: the limiter lowers them and they
// are never rounded back to single precision.
struct WorkingGains {
  double low;
  double middle;
  double high;
};

// The application of one pass walked in stretches, in order: the limiter's lowered gains carry
// from each stretch to the next, so the stretches give what one walk over the track gives.
struct CorrectionWalk {
  WorkingGains left;
  WorkingGains right;
  bool ignoreClicks;
};

// Writes the step line of the application and returns its walk at the first frame.
CorrectionWalk startCorrections(const Gains& gains, bool ignoreClicks, ProcessLog& log);

// The application of the frames of [begin, end), begin a multiple of 8 bytes and end within the
// whole frames of targetLength.
void applyCorrectionsTo(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                        std::uint32_t end, CorrectionWalk& walk);

}  // namespace engine
