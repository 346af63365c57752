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

}  // namespace engine
