// Signs that a converted source could not be decoded whole: the converter's messages (its
// errors, the duration the container states) read as they come, and an Ogg stream whose end
// is missing, so that a cut or damaged file gives its shorter result with a word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace batch {

// What the converter's standard error said, run with kConverterMessageLevel. Lines are taken
// as they come in chunks; memory stays bounded whatever the converter writes.
class ConverterMessages {
 public:
  void take(const char* bytes, std::size_t count);
  // The duration of the first input as its container states it, in seconds; unset when it
  // states none, or when the converter said it only estimated it.
  std::optional<double> statedSeconds() const;
  // A line at the error level or above: a packet that could not be decoded, a cut file.
  bool errorsReported() const { return errorsReported_; }
  // The converter read the source's streams and none of them is audio.
  bool noAudioStream() const { return streamSeen_ && !audioStreamSeen_; }

 private:
  void takeLine(const std::string& line);

  std::string line_;
  bool lineTooLong_ = false;
  std::optional<double> statedSeconds_;
  bool durationEstimated_ = false;
  bool errorsReported_ = false;
  bool streamSeen_ = false;
  bool audioStreamSeen_ = false;
};

// True when path is an Ogg file (Vorbis, Opus, FLAC in Ogg) whose last page is cut short or is
// not marked as the end of its stream: a whole Ogg file ends with such a mark. Reads the first
// bytes and at most the last page; false for any other file and for one that cannot be read.
bool oggEndMissing(const std::string& path);

// The warning for a converted source of which decodedBytes of 44100 Hz 16-bit stereo came out
// ("the source ends early: 7.4 s of 20.0 s could be decoded"), or "" for a whole source.
std::string sourceDamageWarning(const ConverterMessages& messages, std::uint64_t decodedBytes,
                                bool endMissing);

}  // namespace batch
