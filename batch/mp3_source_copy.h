// The copies of a loudness-matched result that its MP3 is encoded from (media/encoder_aim.h):
// matched again from the result as it was before its match, written as WAV files in the
// entry's work folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "media/encoder_aim.h"
#include "media/system_services.h"

namespace batch {

// Copies of the result of targetLength bytes at samples, whose bytes before the match
// matchLoudness left at samples + targetLength; each is matched into samples + 2 * targetLength
// (the rest of the engine's buffer) and written at path, replacing the one before. The last is
// deleted with this object.
class Mp3SourceCopies {
 public:
  // wavGainDb: the saved result's loudness gain, against which a copy's level is told.
  Mp3SourceCopies(std::uint8_t* samples, std::uint32_t targetLength, double wavGainDb,
                  std::string path, media::SystemServices& system);
  ~Mp3SourceCopies();
  Mp3SourceCopies(const Mp3SourceCopies&) = delete;
  Mp3SourceCopies& operator=(const Mp3SourceCopies&) = delete;

  // The copy for aim, as a media::AimedSourceMaker; nothing when it cannot be written.
  std::optional<media::AimedSource> operator()(const media::EncoderAim& aim);

 private:
  std::uint8_t* samples_;
  std::uint32_t targetLength_;
  double wavGainDb_;
  std::string path_;
  media::SystemServices& system_;
  bool written_ = false;
};

}  // namespace batch
