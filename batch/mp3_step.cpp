#include "batch/mp3_step.h"

#include <cmath>
#include <cstring>

#include "batch/converter_commands.h"
#include "batch/mp3_completeness.h"
#include "report/loudness.h"

namespace batch {

namespace {

// Encodings tried before an MP3 that still overshoots is kept as it is.
constexpr int kMostEncodings = 3;
// Taken off once more when the encoder overshot, so that the next try lands below the ceiling.
constexpr double kOvershootMarginDb = 0.05;
// The prober's findings for one file; more is not its JSON.
constexpr std::size_t kMostProbeBytes = 16 * 1024 * 1024;

bool succeeded(const platform::ChildOutcome& outcome) {
  return outcome.started && outcome.exitStatusRead && outcome.exitStatus == 0;
}

SourceTags probeTags(const std::string& sourcePath, SystemServices& system) {
  std::string json;
  const platform::ChildOutcome probe = system.runChildReadingOutput(
      probeCommand(sourcePath), [&json](const char* bytes, std::size_t count) {
        json.append(bytes, count);
        return json.size() <= kMostProbeBytes;
      });
  return succeeded(probe) ? sourceTagsFromProbe(json) : SourceTags{};
}

// The true peak of the MP3 as a player decodes it, in dBTP.
double decodedTruePeak(const std::string& mp3Path, SystemServices& system, bool& measured) {
  report::TruePeakMeter meter;
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
  measured = succeeded(decoding) && meter.ready();
  return meter.truePeakDbtp();
}

enum class Attempt { Whole, Failed, Stopped };

Attempt encodeOnce(const Mp3Encoding& encoding, std::uint64_t frames, SystemServices& system) {
  const platform::ChildOutcome outcome = system.runChild(mp3Arguments(encoding));
  if (outcome.interrupted) return Attempt::Stopped;
  return succeeded(outcome) && mp3HoldsWholeTrack(encoding.mp3Path, frames) ? Attempt::Whole
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
  if (encoding.gainDb < 0.0) {
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
    const double decodedPeak = decodedTruePeak(encoding.mp3Path, system, measured);
    if (!measured || !(decodedPeak > kMp3TruePeakCeilingDbtp)) break;
    if (tries + 1 < kMostEncodings) {
      encoding.gainDb += gainForTruePeak(decodedPeak) - kOvershootMarginDb;
    }
  }
  if (attempt == Attempt::Whole &&
      std::rename(request.partialMp3Path.c_str(), request.mp3Path.c_str()) != 0) {
    attempt = Attempt::Failed;
  }
  if (attempt != Attempt::Whole) system.deleteFile(request.partialMp3Path);
  if (attempt == Attempt::Stopped) return Mp3Result{Mp3Outcome::Stopped, 0.0};
  if (attempt == Attempt::Failed) {
    log.write("Failed ! This should not happen...\n\n");
    return Mp3Result{Mp3Outcome::Failed, 0.0};
  }
  log.write("OK\n\n");
  if (encoding.gainDb < 0.0) {
    log.print("MP3 level lowered by %.2f dB for a true peak of at most -1.0 dBTP\n\n",
              -encoding.gainDb);
  }
  if (tagsDropped) log.write("The source's tags and cover could not be carried into the MP3\n\n");
  return Mp3Result{Mp3Outcome::Whole, encoding.gainDb};
}

}  // namespace batch
