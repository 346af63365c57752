#include "media/mp3_step.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "loudness/album_loudness.h"
#include "loudness/true_peak.h"
#include "loudness/true_peak_ceiling.h"
#include "media/converter_commands.h"
#include "media/mp3_completeness.h"
#include "media/replay_gain.h"

namespace media {

namespace {

// Encodings tried before an MP3 that still overshoots is kept as it is.
constexpr int kMostEncodings = 3;
// Taken off once more when the encoder overshot, so that the next try lands below the ceiling.
constexpr double kOvershootMarginDb = 0.05;

// With a loudness target, an MP3 this close to it is kept; lame's filtering leaves most
// encodings some tenths of a dB quieter than their WAV.
constexpr double kLoudnessToleranceLu = 0.1;

// The MP3 as a player decodes it, fed to meter as it comes from the decoder; false when it
// could not be decoded whole.
template <class Meter>
bool measureDecoded(const std::string& mp3Path, SystemServices& system, Meter& meter) {
  return system.decodeMp3(
      mp3Path, [&meter](const float* frames, std::size_t count) { meter.addFloat(frames, count); });
}

// The level change the next encoding adds: lower when the encoder overshot the ceiling; with
// a loudness target, toward it as far as the ceiling allows; 0 when this MP3 is kept.
double nextCorrectionDb(double decodedPeakDbtp, double decodedLufs,
                        const std::optional<double>& targetLufs) {
  if (decodedPeakDbtp > loudness::kTruePeakCeilingDbtp) {
    return gainForTruePeak(decodedPeakDbtp) - kOvershootMarginDb;
  }
  if (!targetLufs || !std::isfinite(decodedLufs)) return 0.0;
  const double wanted = *targetLufs - decodedLufs;
  if (std::fabs(wanted) <= kLoudnessToleranceLu) return 0.0;
  // A raise keeps the margin that the matched WAV keeps.
  const double headroom = loudness::kAimedTruePeakDbtp - decodedPeakDbtp;
  // The volume filter is given hundredths of a dB.
  const double correction =
      std::round((wanted > 0.0 ? std::min(wanted, headroom) : wanted) * 100.0) / 100.0;
  return std::fabs(correction) >= 0.01 ? correction : 0.0;
}

enum class Attempt { Whole, Failed, Stopped };

// One run of the encoder. An earlier try's file goes first: the encoder will not replace it
// (asked whether to, it reads "no" from the closed standard input and fails).
Attempt encodeOnce(const Mp3Encoding& encoding, std::uint64_t frames, bool earlierTry,
                   const ProgressHandler& progress, SystemServices& system) {
  if (earlierTry) system.deleteFile(encoding.mp3Path);
  switch (system.encodeMp3(encoding, progress)) {
    case EncodingOutcome::Stopped:
      return Attempt::Stopped;
    case EncodingOutcome::Failed:
      return Attempt::Failed;
    case EncodingOutcome::Written:
      break;
  }
  return mp3HoldsWholeTrack(encoding.mp3Path, frames) ? Attempt::Whole : Attempt::Failed;
}

// The MP3 under request.partialMp3Path after the encodings that bring it within the ceiling
// (and toward a loudness target), with what its decoded audio measured.
struct Encoded {
  Attempt attempt = Attempt::Failed;
  Mp3Encoding encoding;
  // The decoded MP3's figures when its loudness was wanted (ReplayGain or a target).
  std::shared_ptr<loudness::AlbumMeter> programme;
  // The last decoded MP3's true peak.
  std::optional<double> decodedPeakDbtp;
  // The copy the MP3 was encoded from, when it was not the saved result.
  std::optional<AimedSource> copy;
};

// Copies made for the encoder before the last one is kept as it decodes.
constexpr int kMostAimedCopies = 3;

// With a loudness target and request.aimedSource, from the first MP3 (of the saved result, at
// encoded.encoding.gainDb) and its decoded figures: while the MP3 is off the target or over the
// ceiling, it is encoded from a copy aimed by the encoding before; the last that still
// overshoots is lowered by a level change.
void encodeFromAimedCopies(const Mp3Request& request, DecodedFigures decoded, Encoded& encoded,
                           SystemServices& system) {
  Mp3Encoding& encoding = encoded.encoding;
  // Encodes and measures; false when the MP3 is not whole or its measure is not known.
  auto encodeAndMeasure = [&] {
    encoded.attempt = encodeOnce(encoding, request.frames, true, request.encodingProgress, system);
    if (encoded.attempt != Attempt::Whole) return false;
    encoded.programme = std::make_shared<loudness::AlbumMeter>();
    if (!measureDecoded(encoding.mp3Path, system, *encoded.programme) ||
        !encoded.programme->ready()) {
      encoded.programme.reset();
      return false;
    }
    decoded = {encoded.programme->integratedLufs(), encoded.programme->truePeakDbtp()};
    encoded.decodedPeakDbtp = decoded.truePeakDbtp;
    return true;
  };
  const double targetLufs = *request.loudnessTargetLufs;
  double sourceLufs = request.wavLufs + encoding.gainDb;
  double sourcePeakDbtp = request.wavTruePeakDbtp + encoding.gainDb;
  bool sourceBounded = false;
  for (int copies = 0; copies < kMostAimedCopies; ++copies) {
    if (mp3OnTarget(decoded, targetLufs, sourceBounded)) return;
    const std::optional<AimedSource> copy =
        request.aimedSource(nextEncoderAim(targetLufs, sourceLufs, sourcePeakDbtp, decoded));
    if (!copy) break;
    encoded.copy = copy;
    encoding.wavPath = copy->wavPath;
    encoding.gainDb = 0.0;
    if (!encodeAndMeasure()) return;
    sourceLufs = copy->integratedLufs;
    sourcePeakDbtp = copy->truePeakDbtp;
    sourceBounded = copy->bounded;
  }
  if (decoded.truePeakDbtp > loudness::kTruePeakCeilingDbtp) {
    encoding.gainDb = gainForTruePeak(decoded.truePeakDbtp) - kOvershootMarginDb;
    encodeAndMeasure();
  }
}

Encoded encodeWithinCeiling(const Mp3Request& request, SystemServices& system) {
  Encoded encoded;
  Mp3Encoding& encoding = encoded.encoding;
  encoding.wavPath = request.wavPath;
  encoding.mp3Path = request.partialMp3Path;
  encoding.rate = request.rate;
  encoding.gainDb = gainForTruePeak(request.wavTruePeakDbtp);
  // The tags and the target are of the audio a player decodes, so its loudness is measured
  // with its peak; otherwise the peak alone.
  const bool loudnessWanted = request.replayGain || request.loudnessTargetLufs.has_value();
  for (int tries = 0; tries < kMostEncodings; ++tries) {
    encoded.attempt =
        encodeOnce(encoding, request.frames, tries > 0, request.encodingProgress, system);
    if (encoded.attempt != Attempt::Whole) break;
    double decodedPeakDbtp = 0.0;
    double decodedLufs = 0.0;
    if (loudnessWanted) {
      encoded.programme = std::make_shared<loudness::AlbumMeter>();
      if (!measureDecoded(encoding.mp3Path, system, *encoded.programme) ||
          !encoded.programme->ready()) {
        encoded.programme.reset();
        break;
      }
      decodedPeakDbtp = encoded.programme->truePeakDbtp();
      decodedLufs = encoded.programme->integratedLufs();
    } else {
      // Unless the report gives it, only a peak above the ceiling matters: it calls for another
      // encoding.
      loudness::TruePeakMeter meter = request.exactDecodedPeak
                                          ? loudness::TruePeakMeter()
                                          : loudness::TruePeakMeter(loudness::kTruePeakCeilingDbtp);
      if (!measureDecoded(encoding.mp3Path, system, meter)) break;
      decodedPeakDbtp = meter.truePeakDbtp();
    }
    encoded.decodedPeakDbtp = decodedPeakDbtp;
    if (request.loudnessTargetLufs && request.aimedSource) {
      encodeFromAimedCopies(request, {decodedLufs, decodedPeakDbtp}, encoded, system);
      break;
    }
    // A move toward the target leaves a try to lower an MP3 that it made overshoot.
    const bool spareTry = tries + 2 < kMostEncodings;
    const double correction = nextCorrectionDb(
        decodedPeakDbtp, decodedLufs, spareTry ? request.loudnessTargetLufs : std::nullopt);
    if (correction == 0.0 || tries + 1 == kMostEncodings) break;
    encoding.gainDb += correction;
  }
  return encoded;
}

// What the MP3's tag came to hold.
struct Tagging {
  bool identityDropped = false;
  bool replayGainWritten = false;
};

// Writes the source's identity and the ReplayGain track tags into the whole MP3 at
// request.partialMp3Path in place. When it is not whole after that, it is encoded once more and
// kept as the encoder gives it.
Tagging writeTag(const Mp3Request& request, const Encoded& encoded, const ReplayGainTags& tags,
                 Attempt& attempt, SystemServices& system) {
  static const TrackIdentity kNoIdentity;
  const TrackIdentity& identity =
      request.identity && !request.identity->empty() ? *request.identity : kNoIdentity;
  const std::vector<std::pair<std::string, std::string>> frames = replayGainFrames(tags);
  Tagging tagging;
  if (identity.empty() && frames.empty()) return tagging;
  if (writeMp3Tag(request.partialMp3Path, identity, frames) &&
      mp3HoldsWholeTrack(request.partialMp3Path, request.frames)) {
    tagging.replayGainWritten = !frames.empty();
    return tagging;
  }
  tagging.identityDropped = !identity.empty();
  attempt = encodeOnce(encoded.encoding, request.frames, true, request.encodingProgress, system);
  return tagging;
}

// The copy the MP3 was encoded from, and how far it stays short of the target.
void logAimedCopy(const AimedSource& copy, double targetLufs,
                  const std::shared_ptr<loudness::AlbumMeter>& programme, engine::ProcessLog& log) {
  log.print("MP3 encoded from a copy matched to %.2f LUFS under %.2f dBTP", copy.integratedLufs,
            copy.truePeakDbtp);
  if (copy.limitingDb > 0.0) log.print(", peaks limited by up to %.2f dB", copy.limitingDb);
  log.write(shortRecoveryText(copy.shortReleaseSeconds));
  log.write(", for the encoder's loss of loudness and its overshoot\n\n");
  if (!programme) return;
  const double shortLu = targetLufs - programme->integratedLufs();
  if (shortLu > kMp3LoudnessToleranceLu) {
    log.print("MP3 %.2f LU short of the target for a true peak of at most %.1f dBTP\n\n", shortLu,
              loudness::kTruePeakCeilingDbtp);
  }
}

void logKeptMp3(const Mp3Request& request, const Encoded& encoded, const Tagging& tagging,
                engine::ProcessLog& log) {
  log.write("OK\n\n");
  if (encoded.copy) {
    logAimedCopy(*encoded.copy, *request.loudnessTargetLufs, encoded.programme, log);
  }
  const double gainDb = encoded.encoding.gainDb;
  if (gainDb < 0.0) {
    log.print("MP3 level lowered by %.2f dB for a true peak of at most %.1f dBTP\n\n", -gainDb,
              loudness::kTruePeakCeilingDbtp);
  } else if (gainDb > 0.0) {
    log.print("MP3 level raised by %.2f dB to keep the loudness target\n\n", gainDb);
  }
  if (tagging.identityDropped) {
    log.write("The source's tags and cover could not be carried into the MP3\n\n");
  }
}

}  // namespace

int sameRateKbps(const std::string& sourcePath) {
  // The rates an MPEG-1 layer III frame can state.
  static constexpr int kStandardKbps[] = {32,  40,  48,  56,  64,  80,  96,
                                          112, 128, 160, 192, 224, 256, 320};
  constexpr int kHighest = 320;
  const std::optional<int> source = mp3BitrateKbps(sourcePath);
  if (!source) return kHighest;
  // The average over the file counts its tags and its first frame, which tells the encoder's
  // settings, beside the audio: a constant 256 kbit/s file reads about 258.
  constexpr double kAverageOverhead = 1.01;
  for (int kbps : kStandardKbps) {
    if (kbps * kAverageOverhead >= *source) return kbps;
  }
  return kHighest;
}

double gainForTruePeak(double truePeakDbtp) {
  if (!(truePeakDbtp > loudness::kTruePeakCeilingDbtp)) return 0.0;
  // Less than a millionth of a hundredth over is the rounding of the subtraction, not a peak.
  return -std::ceil((truePeakDbtp - loudness::kTruePeakCeilingDbtp) * 100.0 - 1e-6) / 100.0;
}

Mp3Result encodeMp3(const Mp3Request& request, SystemServices& system, engine::ProcessLog& log) {
  Encoded encoded = encodeWithinCeiling(request, system);
  Attempt attempt = encoded.attempt;
  ReplayGainTags tags;
  if (attempt == Attempt::Whole && encoded.programme && request.replayGain) {
    tags.trackGain = replayGainText(encoded.programme->integratedLufs());
    tags.trackPeak = replayGainPeakText(encoded.programme->truePeakDbtp());
  }
  Tagging tagging;
  if (attempt == Attempt::Whole) tagging = writeTag(request, encoded, tags, attempt, system);
  if (attempt == Attempt::Whole && !system.renameFile(request.partialMp3Path, request.mp3Path)) {
    attempt = Attempt::Failed;
  }
  if (attempt != Attempt::Whole) system.deleteFile(request.partialMp3Path);
  Mp3Result result;
  if (attempt == Attempt::Stopped) {
    result.outcome = Mp3Outcome::Stopped;
    return result;
  }
  if (attempt == Attempt::Failed) {
    log.write("Failed ! This should not happen...\n\n");
    return result;
  }
  logKeptMp3(request, encoded, tagging, log);
  result.outcome = Mp3Outcome::Whole;
  result.gainDb = encoded.encoding.gainDb + (encoded.copy ? encoded.copy->gainDb : 0.0);
  result.decodedTruePeakDbtp = encoded.decodedPeakDbtp;
  if (encoded.programme) result.decodedLufs = encoded.programme->integratedLufs();
  if (request.replayGain) {
    if (tagging.replayGainWritten) {
      log.print("ReplayGain of the MP3: track gain %s, peak %s\n\n", tags.trackGain.c_str(),
                tags.trackPeak.c_str());
      result.programme = std::move(encoded.programme);
    } else {
      log.write("The ReplayGain tags could not be written into the MP3\n\n");
    }
  }
  return result;
}

}  // namespace media
