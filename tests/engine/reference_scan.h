// A plain transcription of one channel of the band split and scan, value by value in double
// arithmetic as the rules read, to hold the engine's vectorised walk to.
#pragma once

#include <algorithm>

namespace engine_testing {

// Band indices of the reference: 0 low, 1 middle, 2 high.
struct ReferenceChannel {
  int slow = 0, fast = 0;
  int peak[3][2] = {}, quasi[3][2] = {};
  int upRun = 0, downRun = 0, upCandidate = 0, downCandidate = 0, upStep = 0, downStep = 0;
  int bands[3] = {};

  // Both low-passes start at the channel's first value, unscaled.
  explicit ReferenceChannel(int firstValue = 0) : slow(firstValue), fast(firstValue) {}

  void filter(int value) {
    const int x = static_cast<int>(value * 0.85000002384185791015625);
    slow += static_cast<int>((x - slow) * 0.0130000002682209014892578125);
    fast += static_cast<int>((x - fast) * 0.709999978542327880859375);
    bands[0] = slow;
    bands[1] = std::clamp(fast - slow, -32766, 32766);
    bands[2] = std::clamp(x - fast, -32766, 32766);
  }

  void record(int low, int middle, int high, bool ignoreClicks) {
    const int values[3] = {low, middle, high};
    for (int band = 0; band < 3; ++band) {
      if (band == 2 && ignoreClicks) continue;
      peak[band][0] = std::max(peak[band][0], values[band]);
      peak[band][1] = std::min(peak[band][1], values[band]);
    }
    if (ignoreClicks) {
      if (high > peak[2][0]) {
        upCandidate = upRun == 0 ? high : std::max(upCandidate, high);
        if (++upRun == 4) peak[2][0] = upCandidate, upRun = 0;
        downRun = 0;
      } else {
        upRun = 0;
        if (high < peak[2][1]) {
          downCandidate = downRun == 0 ? high : std::min(downCandidate, high);
          if (++downRun == 4) peak[2][1] = downCandidate, downRun = 0;
        } else {
          downRun = 0;
        }
      }
    }
    if (low > quasi[0][0]) quasi[0][0] += (low - quasi[0][0]) / 1000;
    if (low < quasi[0][1]) quasi[0][1] += (low - quasi[0][1]) / 1000;
    if (middle > peak[1][0] / 2) {
      quasi[1][0] = middle / 2 + quasi[1][0] / 2;
    } else if (middle < peak[1][1] / 2) {
      quasi[1][1] = middle / 2 + quasi[1][1] / 2;
    }
    if (high > quasi[2][0]) {
      upStep = (upStep + (ignoreClicks && upRun ? 2 : 8)) % 256;
      if (upStep == 0) ++quasi[2][0];
    } else if (high < quasi[2][1]) {
      downStep = (downStep + (ignoreClicks && downRun ? 2 : 8)) % 256;
      if (downStep == 0) --quasi[2][1];
    }
  }

  void step(int value, bool ignoreClicks) {
    filter(value);
    record(bands[0], bands[1], bands[2], ignoreClicks);
  }
};

}  // namespace engine_testing
