// The loudness range of EBU Tech 3342 as libebur128 1.2.6 gives it without its histogram, from
// the short-term blocks our loudness meter keeps: its own arithmetic costs nothing beside the
// K-weighting the meter has already done, where libebur128 would filter the audio again.
#pragma once

#include <vector>

#include "loudness/integrated_loudness.h"

namespace loudness {

// In LU: the spread between the 10th and the 95th percentile of the short-term loudness of the
// blocks within 20 LU of their mean (blocks below -70 LUFS were never kept); 0 when no block
// is left, as for silence or less than 3 s of audio.
double loudnessRangeLu(std::vector<double> shortTermEnergies);

// The loudness range of everything a meter was fed.
inline double loudnessRangeLu(const LoudnessMeter& meter) {
  return loudnessRangeLu(meter.shortTermBlocks());
}

}  // namespace loudness
