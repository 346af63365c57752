// The true-peak ceiling that results meant for lossy encoding and streaming keep, and the margin
// kept under it where another meter will read the peak.
#pragma once

namespace loudness {

// The ceiling that streaming and broadcast guidelines give for lossy files, in dBTP. Every
// text that names it (log lines, notices, help) is formatted from this number with "%.1f".
inline constexpr double kTruePeakCeilingDbtp = -1.0;

// The ceiling is aimed this far below as this layer reads the true peak: meters that oversample
// finer (ffmpeg's ebur128 filter resamples to 192 kHz) read sharp transients up to about 0.2 dB
// higher, and the promise must hold under any of them.
inline constexpr double kTruePeakMeterMarginDb = 0.3;
// What this layer's meter must read at most for the ceiling to hold under any meter.
inline constexpr double kAimedTruePeakDbtp = kTruePeakCeilingDbtp - kTruePeakMeterMarginDb;

}  // namespace loudness
