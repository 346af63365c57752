// Encoding a WAV to an MP3 in this process with the converter's own libraries, loaded on first
// use: the bytes its encoding command would write, without the cost of starting the converter.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

// What the encoding command is given, besides its input and output; the values the job uses are
// chosen where its command is made.
struct Mp3EncoderSettings {
  std::string wavPath;
  std::string mp3Path;
  // The constant rate in kbit/s, unless vbrQuality is set: lame's variable-rate quality, 0 (best)
  // to 9.
  int kbps{};
  std::optional<int> vbrQuality;
  // lame's algorithm quality (the command's -compression_level).
  int algorithmQuality{};
  // The ID3v2 version of the tag the MP3 starts with (the command's -id3v2_version).
  int id3v2Version{};
  // One filter in the form of the command's -af, or empty for none; only the level change
  // ("volume=-0.35dB") is encoded here.
  std::string filter;
};

enum class InProcessEncoding {
  Written,  // the MP3 is written whole and closed
  // The MP3 could not be written whole (a full disk, a read error of the WAV); what was written
  // of it is left for the caller to delete.
  Failed,
  Stopped,  // a stop was asked; what was written of it is left for the caller to delete
  // The libraries or the encoder are not there, the filter is not the level change, or the WAV
  // is not one that is encoded here as the command encodes it (16-bit stereo 44100 Hz PCM
  // without tags, which the command would carry over): nothing was written.
  Unavailable,
};

// Encodes settings.wavPath to settings.mp3Path (replacing a file there) as the converter's
// command `-i wavPath -id3v2_version V [-af filter] -compression_level Q -f mp3 -ab Kk mp3Path`
// (or `-q:a` for a variable rate) would, byte for byte. onSeconds, when given, is told
// the seconds of audio encoded so far, every second of audio and at the end. Safe from several
// threads at once. Notices a stop request (signals.h) after each stretch of the WAV read.
InProcessEncoding encodeMp3InProcess(const Mp3EncoderSettings& settings,
                                     const std::function<void(double seconds)>& onSeconds);

}  // namespace platform
