// With a loudness target, the MP3 is encoded from a copy of the result matched for the encoder:
// louder by the loudness its low-pass takes off, under a ceiling lowered by what its ringing
// adds to the peaks. What the copy is aimed at, worked out from an encoding's decoded figures.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace media {

// What the next copy is matched to, as this layer's meter reads the copy.
struct EncoderAim {
  // In LUFS: the target plus the loudness the encoder took off the last source.
  double targetLufs = 0.0;
  // In dBTP: the aimed ceiling less the peak the encoder added to the last source.
  double truePeakDbtp = 0.0;
  // In dB: the limiting the copy may take beyond the result's own bound, so that the MP3 of a
  // result that reached the target with the most limiting allowed reaches it too.
  double extraLimitingDb = 0.0;
};

// A copy written for the encoder, and its figures.
struct AimedSource {
  std::string wavPath;
  double integratedLufs = 0.0;
  double truePeakDbtp = 0.0;
  // The copy's level against the saved result, in dB, before its limiting.
  double gainDb = 0.0;
  // How far the limiter lowered the copy's highest peak, in dB.
  double limitingDb = 0.0;
  // The most limiting allowed held the copy short of aim.targetLufs.
  bool bounded = false;
  // The limiter's recovery where the aim needed one shorter than usual; 0 otherwise.
  double shortReleaseSeconds = 0.0;
};

// What a log line adds for a limiter's recovery shorter than usual (", recovering in 10 ms"):
// nothing for 0.
std::string shortRecoveryText(double shortReleaseSeconds);

// Writes the copy for aim, replacing the one before; nothing when it cannot be written.
using AimedSourceMaker = std::function<std::optional<AimedSource>(const EncoderAim& aim)>;

// What an encoding of a source (sourceLufs, sourcePeakDbtp) decoded to.
struct DecodedFigures {
  double integratedLufs = 0.0;
  double truePeakDbtp = 0.0;
};

// Within this of the target, a decoded MP3 is on it: the WAV's own tolerance is a tenth of a
// dB closer, the encoder's filtering is not repeatable more finely.
inline constexpr double kMp3LoudnessToleranceLu = 0.1;

// True when an MP3 decoded as `decoded` may be kept for targetLufs: within the aimed ceiling
// (loudness::kAimedTruePeakDbtp) and on the target, or short of it with its source held by the
// most limiting or the ceiling (sourceBounded).
bool mp3OnTarget(const DecodedFigures& decoded, double targetLufs, bool sourceBounded);

// The aim of the copy that brings the next MP3 to targetLufs, from the last encoding's source
// and what it decoded to: the loudness the encoder took off is added to the target, the peak
// it added taken off the ceiling (with a small margin), and both allowed as extra limiting.
EncoderAim nextEncoderAim(double targetLufs, double sourceLufs, double sourcePeakDbtp,
                          const DecodedFigures& decoded);

}  // namespace media
