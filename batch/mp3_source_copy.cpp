#include "batch/mp3_source_copy.h"

#include <utility>

#include "batch/loudness_match.h"
#include "engine/wav_file.h"

namespace batch {

Mp3SourceCopies::Mp3SourceCopies(std::uint8_t* samples, std::uint32_t targetLength,
                                 double wavGainDb, std::string path, media::SystemServices& system)
    : samples_(samples),
      targetLength_(targetLength),
      wavGainDb_(wavGainDb),
      path_(std::move(path)),
      system_(system) {}

Mp3SourceCopies::~Mp3SourceCopies() {
  if (written_) system_.deleteFile(path_);
}

std::optional<media::AimedSource> Mp3SourceCopies::operator()(const media::EncoderAim& aim) {
  std::uint8_t* copy = samples_ + 2 * std::size_t{targetLength_};
  const LoudnessMatch match = matchCopy(samples_ + targetLength_, copy, targetLength_,
                                        aim.targetLufs, aim.truePeakDbtp, aim.extraLimitingDb);
  if (!match.applied) return std::nullopt;
  if (written_) system_.deleteFile(path_);
  written_ = engine::writeNewWav(path_, copy, targetLength_);
  if (!written_) return std::nullopt;
  media::AimedSource source;
  source.wavPath = path_;
  source.integratedLufs = match.integratedLufs;
  source.truePeakDbtp = match.truePeakDbtp;
  source.gainDb = match.gainDb - wavGainDb_;
  source.limitingDb = match.limitingDb;
  source.bounded = match.bounded;
  source.shortReleaseSeconds = match.shortReleaseSeconds;
  return source;
}

}  // namespace batch
