#include "batch/converter_commands.h"

namespace batch {

namespace {

std::string quoted(const std::string& path) { return '"' + path + '"'; }

// The demuxers of the media files that a music library holds. Anything else the converter could
// probe (playlists, concat scripts, image sequences, devices) reads other files or streams.
constexpr const char* kMediaFileFormats =
    "mp3,mov,avi,flv,ogg,asf,matroska,mpeg,mpegts,wav,w64,flac,aac,aiff,wv,ape";

}  // namespace

std::string numberedTemporaryWavName(std::size_t position) {
  return "TMPOUT-" + std::to_string(position) + ".WAV";
}

std::string temporaryWavPath(const std::string& outputFolderPath,
                             const std::string& temporaryWavName) {
  return outputFolderPath + temporaryWavName;
}

ConverterCommand conversionCommand(const std::string& sourcePath,
                                   const std::string& outputFolderPath,
                                   const std::string& temporaryWavName) {
  const std::string temporaryWav = temporaryWavPath(outputFolderPath, temporaryWavName);
  ConverterCommand command;
  command.commandLine = "ffmpeg -i " + quoted(sourcePath) +
                        " -f wav -flags bitexact -acodec pcm_s16le -ar 44100 -ac 2 " +
                        quoted(temporaryWav);
  command.arguments = {"ffmpeg",     "-protocol_whitelist", "file",     "-format_whitelist",
                       kMediaFileFormats, "-i",               sourcePath, "-f",
                       "wav",        "-flags",             "bitexact", "-acodec",
                       "pcm_s16le",  "-ar",                "44100",    "-ac",
                       "2",          temporaryWav};
  return command;
}

ConverterCommand mp3Command(const std::string& wavPath, const std::string& mp3Path, bool at192k) {
  // The program name is in capitals here; the search for programs finds the converter under
  // its lower-case name all the same.
  const std::string bitRate = at192k ? "192k" : "128k";
  ConverterCommand command;
  command.commandLine =
      "FFMPEG -i " + quoted(wavPath) + " -f mp3 -ab " + bitRate + " " + quoted(mp3Path);
  command.arguments = {"FFMPEG", "-i", wavPath, "-f", "mp3", "-ab", bitRate, mp3Path};
  return command;
}

}  // namespace batch
