#include "batch/mp3_source_copy.h"

#include <cstdio>
#include <utility>

#include "batch/loudness_match.h"
#include "engine/wav_file.h"

namespace batch {

namespace {

// Writes a new file only ("x"): a link or a file planted at the name is never written through.
// A file it began and could not finish is removed.
bool writeResultWav(const std::string& path, const std::uint8_t* samples, std::uint32_t byteCount) {
  std::FILE* out = std::fopen(path.c_str(), "wbx");
  if (!out) return false;
  const auto header = engine::resultHeader(byteCount);
  const bool complete = std::fwrite(header.data(), 1, header.size(), out) == header.size() &&
                        std::fwrite(samples, 1, byteCount, out) == byteCount;
  // A full disk may show only when the last buffered bytes are flushed by the close.
  if (std::fclose(out) == 0 && complete) return true;
  std::remove(path.c_str());
  return false;
}

}  // namespace

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
  written_ = writeResultWav(path_, copy, targetLength_);
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
