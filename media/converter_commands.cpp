#include "batch/converter_commands.h"

namespace batch {

namespace {

std::string quoted(const std::string& path) { return '"' + path + '"'; }

}  // namespace

ConverterCommand conversionCommand(const std::string& sourcePath,
                                   const std::string& outputFolderPath,
                                   const std::string& temporaryWavName,
                                   const std::string& workFolderPath) {
  const std::string temporaryWav = temporaryWavPath(
      workFolderPath.empty() ? outputFolderPath : workFolderPath, temporaryWavName);
  ConverterCommand command;
  command.commandLine = "ffmpeg -i " + quoted(sourcePath) +
                        " -f wav -flags bitexact -acodec pcm_s16le -ar 44100 -ac 2 " +
                        quoted(temporaryWavPath(outputFolderPath));
  command.arguments = {"ffmpeg",     "-protocol_whitelist", "file",     "-format_whitelist",
                       kMediaFileFormats, "-i",               sourcePath, "-f",
                       "wav",        "-flags",             "bitexact", "-acodec",
                       "pcm_s16le",  "-ar",                "44100",    "-ac",
                       "2",          "-nostats",           "-hide_banner", "-loglevel",
                       kConverterMessageLevel, temporaryWav};
  return command;
}

}  // namespace batch
