#include "batch/mp3_step.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>

#include "batch/converter_commands.h"
#include "batch/loudness_match.h"
#include "batch/mp3_completeness.h"
#include "batch/replay_gain.h"
#include "loudness/album_loudness.h"
#include "loudness/true_peak.h"

namespace batch {

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

SourceTags probeTags(const std::string& sourcePath, SystemServices& system) {
  std::string json;
  const platform::ChildOutcome probe = system.runChildReadingOutput(
      probeCommand(sourcePath), [&json](const char* bytes, std::size_t count) {
        json.append(bytes, count);
        return json.size() <= kMostProbeBytes;
      });
  return platform::childSucceeded(probe) ? sourceTagsFromProbe(json) : SourceTags{};
}

// The MP3 as a player decodes it, fed to meter; false when it could not be decoded whole.
template <class Meter>
bool measureDecoded(const std::string& mp3Path, SystemServices& system, Meter& meter) {
  std::string carried;
  std::vector<float> samples;
  constexpr std::size_t kFrameBytes = 2 * sizeof(float);
  const platform::ChildOutcome decoding = system.runChildReadingOutput(
      {"ffmpeg", "-nostdin", "-v", "error", "-f", "mp3", "-i", mp3Path, "-f", "f32le", "-ac", "2",
       "-"},
      [&](const char* bytes, std::size_t count) {
        carried.append(bytes, count);
        const std::size_t frames = carried.size() / kFrameBytes;
        samples.resize(frames * 2);
        std::memcpy(samples.data(), carried.data(), frames * kFrameBytes);
        meter.addFloat(samples.data(), frames);
        carried.erase(0, frames * kFrameBytes);
        return true;
      });
  return platform::childSucceeded(decoding);
}

// The level change the next encoding adds: lower when the encoder overshot the ceiling; with
// a loudness target, toward it as far as the ceiling allows; 0 when this MP3 is kept.
double nextCorrectionDb(double decodedPeakDbtp, double decodedLufs,
                        const std::optional<double>& targetLufs) {
  if (decodedPeakDbtp > kMp3TruePeakCeilingDbtp) {
    return gainForTruePeak(decodedPeakDbtp) - kOvershootMarginDb;
  }
  if (!targetLufs || !std::isfinite(decodedLufs)) return 0.0;
  const double wanted = *targetLufs - decodedLufs;
  if (std::fabs(wanted) <= kLoudnessToleranceLu) return 0.0;
  // A raise keeps the margin that the matched WAV keeps.
  const double headroom = kLoudnessTruePeakCeilingDbtp - kTruePeakMeterMarginDb - decodedPeakDbtp;
  // The volume filter is given hundredths of a dB.
  const double correction =
      std::round((wanted > 0.0 ? std::min(wanted, headroom) : wanted) * 100.0) / 100.0;
  return std::fabs(correction) >= 0.01 ? correction : 0.0;
}

enum class Attempt { Whole, Failed, Stopped };

Attempt encodeOnce(const Mp3Encoding& encoding, std::uint64_t frames, SystemServices& system) {
  // The encoder will not replace the file of an earlier try: asked whether to, it reads "no"
  // from the closed standard input and fails.
  std::error_code unknown;
  if (std::filesystem::exists(encoding.mp3Path, unknown)) system.deleteFile(encoding.mp3Path);
  const platform::ChildOutcome outcome = system.runChild(mp3Arguments(encoding));
  if (outcome.interrupted) return Attempt::Stopped;
  return platform::childSucceeded(outcome) && mp3HoldsWholeTrack(encoding.mp3Path, frames)
             ? Attempt::Whole
             : Attempt::Failed;
}

}  // namespace

std::vector<std::string> mp3Arguments(const Mp3Encoding& encoding) {
  // The program name is in capitals here; the search for programs finds the converter under
  // its lower-case name all the same.
  std::vector<std::string> arguments = {"FFMPEG", "-i", encoding.wavPath};
  const bool tagged = !encoding.sourcePath.empty() && !encoding.tags.empty();
  if (tagged) {
    arguments.insert(arguments.end(), {"-protocol_whitelist", "file", "-format_whitelist",
                                       kMediaFileFormats, "-i", encoding.sourcePath, "-map", "0:a"});
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
  if (!(truePeakDbtp > kMp3TruePeakCeilingDbtp)) return 0.0;
  // Less than a millionth of a hundredth over is the rounding of the subtraction, not a peak.
  return -std::ceil((truePeakDbtp - kMp3TruePeakCeilingDbtp) * 100.0 - 1e-6) / 100.0;
}

Mp3Result encodeMp3(const Mp3Request& request, SystemServices& system, engine::ProcessLog& log) {
  Mp3Encoding encoding;
  encoding.wavPath = request.wavPath;
  encoding.mp3Path = request.partialMp3Path;
  encoding.at192k = request.at192k;
  encoding.sourcePath = request.sourcePath;
  encoding.tags = probeTags(request.sourcePath, system);
  encoding.gainDb = gainForTruePeak(request.wavTruePeakDbtp);
  bool tagsDropped = false;
  std::shared_ptr<loudness::AlbumMeter> programme;
  std::optional<double> decodedPeakDbtp;

  Attempt attempt = Attempt::Failed;
  for (int tries = 0; tries < kMostEncodings; ++tries) {
    attempt = encodeOnce(encoding, request.frames, system);
    // When the tags or the picture are what the encoder cannot take, the MP3 goes without them.
    if (attempt == Attempt::Failed && !encoding.tags.empty()) {
      encoding.tags = SourceTags{};
      tagsDropped = true;
      attempt = encodeOnce(encoding, request.frames, system);
    }
    if (attempt != Attempt::Whole) break;
    bool measured = false;
    double decodedPeak = 0.0;
    if (request.replayGain || request.loudnessTargetLufs) {
      // The tags and the target are of the audio a player decodes, so it is measured.
      programme = std::make_shared<loudness::AlbumMeter>();
      measured = measureDecoded(encoding.mp3Path, system, *programme) && programme->ready();
      decodedPeak = programme->truePeakDbtp();
      if (!measured) programme.reset();
    } else {
      loudness::TruePeakMeter meter;
      measured = measureDecoded(encoding.mp3Path, system, meter);
      decodedPeak = meter.truePeakDbtp();
    }
    if (!measured) break;
    decodedPeakDbtp = decodedPeak;
    // A move toward the target leaves a try to lower an MP3 that it made overshoot.
    const bool spareTry = tries + 2 < kMostEncodings;
    const double correction =
        nextCorrectionDb(decodedPeak, programme ? programme->integratedLufs() : 0.0,
                         spareTry ? request.loudnessTargetLufs : std::nullopt);
    if (correction == 0.0 || tries + 1 == kMostEncodings) break;
    encoding.gainDb += correction;
  }
  bool replayGainWritten = false;
  ReplayGainTags tags;
  if (attempt == Attempt::Whole && programme && request.replayGain) {
    tags.trackGain = replayGainText(programme->integratedLufs());
    tags.trackPeak = replayGainPeakText(programme->truePeakDbtp());
    const std::string& untaggedPath = request.untaggedMp3Path;
    // The untagged MP3 stays whole under its own name until the tagged copy has proved whole.
    if (std::rename(request.partialMp3Path.c_str(), untaggedPath.c_str()) != 0) {
      // Still whole under its first name: kept without the tags.
    } else if (addReplayGainTags(untaggedPath, request.partialMp3Path, tags, request.frames,
                                 system)) {
      replayGainWritten = true;
      system.deleteFile(untaggedPath);
    } else if (std::rename(untaggedPath.c_str(), request.partialMp3Path.c_str()) != 0) {
      attempt = Attempt::Failed;
      system.deleteFile(untaggedPath);
    }
  }
  if (attempt == Attempt::Whole &&
      std::rename(request.partialMp3Path.c_str(), request.mp3Path.c_str()) != 0) {
    attempt = Attempt::Failed;
  }
  if (attempt != Attempt::Whole) system.deleteFile(request.partialMp3Path);
  if (attempt == Attempt::Stopped) {
    return Mp3Result{Mp3Outcome::Stopped, 0.0, nullptr, std::nullopt, std::nullopt};
  }
  if (attempt == Attempt::Failed) {
    log.write("Failed ! This should not happen...\n\n");
    return Mp3Result{Mp3Outcome::Failed, 0.0, nullptr, std::nullopt, std::nullopt};
  }
  log.write("OK\n\n");
  if (encoding.gainDb < 0.0) {
    log.print("MP3 level lowered by %.2f dB for a true peak of at most -1.0 dBTP\n\n",
              -encoding.gainDb);
  } else if (encoding.gainDb > 0.0) {
    log.print("MP3 level raised by %.2f dB to keep the loudness target\n\n", encoding.gainDb);
  }
  if (tagsDropped) log.write("The source's tags and cover could not be carried into the MP3\n\n");
  Mp3Result result{Mp3Outcome::Whole, encoding.gainDb, nullptr, decodedPeakDbtp, std::nullopt};
  if (programme) result.decodedLufs = programme->integratedLufs();
  if (request.replayGain) {
    if (replayGainWritten) {
      log.print("ReplayGain of the MP3: track gain %s, peak %s\n\n", tags.trackGain.c_str(),
                tags.trackPeak.c_str());
      result.programme = std::move(programme);
    } else {
      log.write("The ReplayGain tags could not be written into the MP3\n\n");
    }
  }
  return result;
}

}  // namespace batch
