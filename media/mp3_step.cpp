#include "media/mp3_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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
// The prober's findings for one file; more is not its JSON.
constexpr std::size_t kMostProbeBytes = 16 * 1024 * 1024;

// With a loudness target, an MP3 this close to it is kept; lame's filtering leaves most
// encodings some tenths of a dB quieter than their WAV.
constexpr double kLoudnessToleranceLu = 0.1;

SourceTags probeTags(const Mp3Request& request, SystemServices& system) {
  if (!request.sourceMayHoldTags) return {};
  std::string json;
  const platform::ChildOutcome probe = system.runChildReadingOutput(
      probeCommand(request.sourcePath), [&json](const char* bytes, std::size_t count) {
        json.append(bytes, count);
        return json.size() <= kMostProbeBytes;
      });
  return platform::childSucceeded(probe) ? sourceTagsFromProbe(json) : SourceTags{};
}

// The MP3 as a player decodes it, fed to meter as it comes from the decoder; false when it
// could not be decoded whole.
template <class Meter>
bool measureDecoded(const std::string& mp3Path, SystemServices& system, Meter& meter) {
  constexpr std::size_t kFrameBytes = 2 * sizeof(float);
  // The decoder's bytes from the start of a frame: a frame cut between two reads of the pipe
  // waits at the front for its other bytes.
  std::vector<float> samples;
  std::size_t heldBytes = 0;
  const platform::ChildOutcome decoding = system.runChildReadingOutput(
      mp3DecodingCommand(mp3Path), [&](const char* bytes, std::size_t count) {
        const std::size_t total = heldBytes + count;
        samples.resize((total + sizeof(float) - 1) / sizeof(float));
        auto* storage = reinterpret_cast<char*>(samples.data());
        std::memcpy(storage + heldBytes, bytes, count);
        const std::size_t frames = total / kFrameBytes;
        if (frames > 0) meter.addFloat(samples.data(), frames);
        heldBytes = total - frames * kFrameBytes;
        std::memmove(storage, storage + frames * kFrameBytes, heldBytes);
        return true;
      });
  return platform::childSucceeded(decoding);
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
  const double headroom =
      loudness::kTruePeakCeilingDbtp - loudness::kTruePeakMeterMarginDb - decodedPeakDbtp;
  // The volume filter is given hundredths of a dB.
  const double correction =
      std::round((wanted > 0.0 ? std::min(wanted, headroom) : wanted) * 100.0) / 100.0;
  return std::fabs(correction) >= 0.01 ? correction : 0.0;
}

enum class Attempt { Whole, Failed, Stopped };

// One run of the encoder. An earlier try's file goes first: the encoder will not replace it
// (asked whether to, it reads "no" from the closed standard input and fails).
Attempt encodeOnce(const Mp3Encoding& encoding, std::uint64_t frames, bool earlierTry,
                   SystemServices& system) {
  if (earlierTry) system.deleteFile(encoding.mp3Path);
  const platform::ChildOutcome outcome = system.runChild(mp3Arguments(encoding));
  if (outcome.interrupted) return Attempt::Stopped;
  return platform::childSucceeded(outcome) && mp3HoldsWholeTrack(encoding.mp3Path, frames)
             ? Attempt::Whole
             : Attempt::Failed;
}

// The MP3 under request.partialMp3Path after the encodings that bring it within the ceiling
// (and toward a loudness target), with what its decoded audio measured.
struct Encoded {
  Attempt attempt = Attempt::Failed;
  Mp3Encoding encoding;
  bool tagsDropped = false;
  // The decoded MP3's figures when its loudness was wanted (ReplayGain or a target).
  std::shared_ptr<loudness::AlbumMeter> programme;
  // The last decoded MP3's true peak.
  std::optional<double> decodedPeakDbtp;
};

// Encodes once; when the tags or the picture are what the encoder cannot take, once more
// without them.
Attempt encodeKeepingTagsIfTheyFit(Encoded& encoded, const Mp3Request& request, bool earlierTry,
                                   SystemServices& system) {
  Attempt attempt = encodeOnce(encoded.encoding, request.frames, earlierTry, system);
  if (attempt == Attempt::Failed && !encoded.encoding.tags.empty()) {
    encoded.encoding.tags = SourceTags{};
    encoded.tagsDropped = true;
    attempt = encodeOnce(encoded.encoding, request.frames, true, system);
  }
  return attempt;
}

Encoded encodeWithinCeiling(const Mp3Request& request, SystemServices& system) {
  Encoded encoded;
  Mp3Encoding& encoding = encoded.encoding;
  encoding.wavPath = request.wavPath;
  encoding.mp3Path = request.partialMp3Path;
  encoding.at192k = request.at192k;
  encoding.sourcePath = request.sourcePath;
  encoding.tags = probeTags(request, system);
  encoding.gainDb = gainForTruePeak(request.wavTruePeakDbtp);
  // The tags and the target are of the audio a player decodes, so its loudness is measured
  // with its peak; otherwise the peak alone.
  const bool loudnessWanted = request.replayGain || request.loudnessTargetLufs.has_value();
  for (int tries = 0; tries < kMostEncodings; ++tries) {
    encoded.attempt = encodeKeepingTagsIfTheyFit(encoded, request, tries > 0, system);
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
    // A move toward the target leaves a try to lower an MP3 that it made overshoot.
    const bool spareTry = tries + 2 < kMostEncodings;
    const double correction = nextCorrectionDb(
        decodedPeakDbtp, decodedLufs, spareTry ? request.loudnessTargetLufs : std::nullopt);
    if (correction == 0.0 || tries + 1 == kMostEncodings) break;
    encoding.gainDb += correction;
  }
  return encoded;
}

enum class Tagging { Written, KeptUntagged, Lost };

// Gives the whole MP3 at request.partialMp3Path its ReplayGain track tags. The untagged MP3
// stays whole under its own name until the tagged copy has proved whole.
Tagging addTrackTags(const Mp3Request& request, const ReplayGainTags& tags,
                     SystemServices& system) {
  const std::string& untaggedPath = request.untaggedMp3Path;
  if (!system.renameFile(request.partialMp3Path, untaggedPath)) return Tagging::KeptUntagged;
  if (addReplayGainTags(untaggedPath, request.partialMp3Path, tags, request.frames, system)) {
    system.deleteFile(untaggedPath);
    return Tagging::Written;
  }
  if (system.renameFile(untaggedPath, request.partialMp3Path)) return Tagging::KeptUntagged;
  system.deleteFile(untaggedPath);
  return Tagging::Lost;
}

void logKeptMp3(const Encoded& encoded, engine::ProcessLog& log) {
  log.write("OK\n\n");
  const double gainDb = encoded.encoding.gainDb;
  if (gainDb < 0.0) {
    log.print("MP3 level lowered by %.2f dB for a true peak of at most %.1f dBTP\n\n", -gainDb,
              loudness::kTruePeakCeilingDbtp);
  } else if (gainDb > 0.0) {
    log.print("MP3 level raised by %.2f dB to keep the loudness target\n\n", gainDb);
  }
  if (encoded.tagsDropped) {
    log.write("The source's tags and cover could not be carried into the MP3\n\n");
  }
}

}  // namespace

std::vector<std::string> mp3Arguments(const Mp3Encoding& encoding) {
  // The program name is in capitals here; the search for programs finds the converter under
  // its lower-case name all the same.
  std::vector<std::string> arguments = {"FFMPEG", "-i", encoding.wavPath};
  const bool tagged = !encoding.sourcePath.empty() && !encoding.tags.empty();
  if (tagged) {
    const std::vector<std::string> limits = sourceLimits();
    arguments.insert(arguments.end(), limits.begin(), limits.end());
    arguments.insert(arguments.end(), {"-i", encoding.sourcePath, "-map", "0:a"});
    // Only the cover: a video source's own picture never enters the MP3.
    if (encoding.tags.coverStream >= 0) {
      arguments.insert(arguments.end(),
                       {"-map", "1:" + std::to_string(encoding.tags.coverStream), "-c:v", "copy",
                        "-metadata:s:v", "title=Album cover", "-metadata:s:v",
                        "comment=Cover (front)"});
    }
    arguments.insert(arguments.end(), {"-map_metadata", "-1"});
    for (const auto& [name, value] : encoding.tags.tags) {
      arguments.insert(arguments.end(), {"-metadata", name + "=" + value});
    }
  }
  // The version that most players, car radios and DJ software read.
  arguments.insert(arguments.end(), {"-id3v2_version", "3"});
  if (encoding.gainDb != 0.0) {
    char volume[48];
    std::snprintf(volume, sizeof volume, "volume=%.2fdB", encoding.gainDb);
    arguments.insert(arguments.end(), {"-af", volume});
  }
  arguments.insert(arguments.end(),
                   {"-f", "mp3", "-ab", encoding.at192k ? "192k" : "128k", encoding.mp3Path});
  return arguments;
}

double gainForTruePeak(double truePeakDbtp) {
  if (!(truePeakDbtp > loudness::kTruePeakCeilingDbtp)) return 0.0;
  // Less than a millionth of a hundredth over is the rounding of the subtraction, not a peak.
  return -std::ceil((truePeakDbtp - loudness::kTruePeakCeilingDbtp) * 100.0 - 1e-6) / 100.0;
}

Mp3Result encodeMp3(const Mp3Request& request, SystemServices& system, engine::ProcessLog& log) {
  Encoded encoded = encodeWithinCeiling(request, system);
  Attempt attempt = encoded.attempt;
  Tagging tagging = Tagging::KeptUntagged;
  ReplayGainTags tags;
  if (attempt == Attempt::Whole && encoded.programme && request.replayGain) {
    tags.trackGain = replayGainText(encoded.programme->integratedLufs());
    tags.trackPeak = replayGainPeakText(encoded.programme->truePeakDbtp());
    tagging = addTrackTags(request, tags, system);
    if (tagging == Tagging::Lost) attempt = Attempt::Failed;
  }
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
  logKeptMp3(encoded, log);
  result.outcome = Mp3Outcome::Whole;
  result.gainDb = encoded.encoding.gainDb;
  result.decodedTruePeakDbtp = encoded.decodedPeakDbtp;
  if (encoded.programme) result.decodedLufs = encoded.programme->integratedLufs();
  if (request.replayGain) {
    if (tagging == Tagging::Written) {
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
