// The converter's commands of one track: the extraction of a source's audio into a WAV file, as
// the argument list the child is started with and the line the process log shows of it, the
// encoding of the MP3 and its decoding for its measurement; the limits every reading of a source
// keeps.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/mp3_encoding.h"

namespace media {

// The converter, found on the PATH; it also encodes the MP3 files.
inline constexpr const char* kConverterProgram = "ffmpeg";

// The demuxers of the media files that a music library holds; the converter and its prober
// read nothing else.
inline constexpr const char* kMediaFileFormats =
    "mp3,mov,avi,flv,ogg,asf,matroska,mpeg,mpegts,wav,w64,flac,aac,aiff,wv,ape";

// The converter's messages on its standard error: each line tagged with its level ("[error]"),
// down to the information that states the source's duration; no progress lines.
inline constexpr const char* kConverterMessageLevel = "level+info";

// The options, put before a source's "-i", that make the converter or its prober read it only
// as a media file on the local file system: playlists, concat scripts and network addresses
// are refused, so that no audio from outside what the user chose can come in.
std::vector<std::string> sourceLimits();

struct ConverterCommand {
  // The command as one line, every path between double quotes and nothing escaped.
  std::string commandLine;
  // The same command for the child: the program name, then one argument per piece, each path
  // whole whatever it holds (blanks, double quotes, any letters).
  std::vector<std::string> arguments;
};

// The converter reads sourcePath within sourceLimits() and writes 16-bit stereo 44100 Hz PCM,
// bit-exact, into wavPath. The command line is rendered from the same pieces in the form the
// process log has always had: without the source limits and the message options, and naming
// loggedWavPath as the output, so that the log reads the same whatever private name wavPath
// has.
ConverterCommand conversionCommand(const std::string& sourcePath, const std::string& wavPath,
                                   const std::string& loggedWavPath);

// How the MP3 is encoded: at a constant bit rate, or at LAME's variable bit-rate quality.
struct Mp3Rate {
  // The constant rates a user may choose; kSameRate: an MP3 source's own, see mp3RateOf.
  static constexpr int kSameRate = 0;
  int kbps = 128;
  // 0 (best) to 9; set, the rate varies and kbps is not used.
  std::optional<int> vbrQuality;
  bool operator==(const Mp3Rate&) const = default;
};

struct Mp3Encoding {
  std::string wavPath;
  std::string mp3Path;
  Mp3Rate rate;
  // The change of level in dB: 0 or below, or above 0 toward a loudness target.
  double gainDb = 0.0;
};

// lame's algorithm quality 3, its own default, named so that a build of the encoder with another
// default cannot change the MP3.
inline constexpr int kMp3AlgorithmQuality = 3;
// The version of the MP3's tag that most players, car radios and DJ software read.
inline constexpr int kMp3TagVersion = 3;

// The converter's filter that changes the level by gainDb ("volume=-0.35dB", the hundredth
// kept), or empty for none.
std::string levelFilter(double gainDb);

// The encoder's argument list. Nothing is shown of it but what is derived from it.
std::vector<std::string> mp3Arguments(const Mp3Encoding& encoding);

// The same encoding as the encoder's libraries take it in this process.
platform::Mp3EncoderSettings mp3EncoderSettings(const Mp3Encoding& encoding);

// The decoding of an MP3 file as a player hears it: 32-bit float stereo samples, interleaved,
// at the MP3's own rate, on the standard output.
std::vector<std::string> mp3DecodingCommand(const std::string& mp3Path);

// The converter's command that writes the picture stream at streamIndex of sourcePath, as it is,
// to its standard output.
std::vector<std::string> pictureCopyCommand(const std::string& sourcePath, int streamIndex);

}  // namespace media
