#include "batch/converter_commands.h"

namespace batch {

namespace {

std::string quoted(const std::string& path) { return '"' + path + '"'; }

}  // namespace

std::string temporaryWavPath(const std::string& outputFolderPath) {
  return outputFolderPath + kTemporaryWavName;
}

ConverterCommand conversionCommand(const std::string& sourcePath,
                                   const std::string& outputFolderPath) {
  const std::string temporaryWav = temporaryWavPath(outputFolderPath);
  ConverterCommand command;
  command.commandLine = "ffmpeg -i " + quoted(sourcePath) +
                        " -f wav -flags bitexact -acodec pcm_s16le -ar 44100 -ac 2 " +
                        quoted(temporaryWav);
  command.arguments = {"ffmpeg",  "-i",        sourcePath, "-f",    "wav", "-flags", "bitexact",
                       "-acodec", "pcm_s16le", "-ar",      "44100", "-ac", "2",      temporaryWav};
  return command;
}

std::string mp3TargetPath(const std::string& outputPath) {
  constexpr std::size_t kResultEndingLength = 7;  // "_eq.wav"
  const std::size_t baseLength =
      outputPath.size() > kResultEndingLength ? outputPath.size() - kResultEndingLength : 0;
  return outputPath.substr(0, baseLength) + ".mp3";
}

ConverterCommand mp3Command(const std::string& outputPath, bool at192k) {
  // The program name is in capitals here; the search for programs finds the converter under
  // its lower-case name all the same.
  const std::string bitRate = at192k ? "192k" : "128k";
  const std::string target = mp3TargetPath(outputPath);
  ConverterCommand command;
  command.commandLine =
      "FFMPEG -i " + quoted(outputPath) + " -f mp3 -ab " + bitRate + " " + quoted(target);
  command.arguments = {"FFMPEG", "-i", outputPath, "-f", "mp3", "-ab", bitRate, target};
  return command;
}

}  // namespace batch
