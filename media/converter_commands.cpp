#include "media/converter_commands.h"

#include <cstdio>

namespace media {

namespace {

std::string quoted(const std::string& path) { return '"' + path + '"'; }

void append(std::vector<std::string>& arguments, const std::vector<std::string>& more) {
  arguments.insert(arguments.end(), more.begin(), more.end());
}

}  // namespace

std::vector<std::string> sourceLimits() {
  return {"-protocol_whitelist", "file", "-format_whitelist", kMediaFileFormats};
}

ConverterCommand conversionCommand(const std::string& sourcePath, const std::string& wavPath,
                                   const std::string& loggedWavPath) {
  const std::vector<std::string> pcmOutput = {"-f",        "wav", "-flags", "bitexact", "-acodec",
                                              "pcm_s16le", "-ar", "44100",  "-ac",      "2"};
  ConverterCommand command;
  command.arguments = {kConverterProgram};
  append(command.arguments, sourceLimits());
  append(command.arguments, {"-i", sourcePath});
  append(command.arguments, pcmOutput);
  append(command.arguments, {"-nostats", "-hide_banner", "-loglevel", kConverterMessageLevel});
  command.arguments.push_back(wavPath);

  command.commandLine = "ffmpeg -i " + quoted(sourcePath);
  for (const std::string& piece : pcmOutput) command.commandLine += " " + piece;
  command.commandLine += " " + quoted(loggedWavPath);
  return command;
}

std::vector<std::string> pictureCopyCommand(const std::string& sourcePath, int streamIndex) {
  std::vector<std::string> arguments = {kConverterProgram, "-nostdin", "-v", "error"};
  append(arguments, sourceLimits());
  append(arguments, {"-i", sourcePath, "-map", "0:" + std::to_string(streamIndex), "-c", "copy",
                     "-f", "image2pipe", "-"});
  return arguments;
}

std::string levelFilter(double gainDb) {
  if (gainDb == 0.0) return {};
  char volume[48];
  std::snprintf(volume, sizeof volume, "volume=%.2fdB", gainDb);
  return volume;
}

std::vector<std::string> mp3Arguments(const Mp3Encoding& encoding) {
  // The program name is in capitals here; the search for programs finds the converter under
  // its lower-case name all the same.
  std::vector<std::string> arguments = {"FFMPEG", "-i", encoding.wavPath, "-id3v2_version",
                                        std::to_string(kMp3TagVersion)};
  const std::string filter = levelFilter(encoding.gainDb);
  if (!filter.empty()) append(arguments, {"-af", filter});
  append(arguments, {"-compression_level", std::to_string(kMp3AlgorithmQuality), "-f", "mp3"});
  if (encoding.rate.vbrQuality) {
    append(arguments, {"-q:a", std::to_string(*encoding.rate.vbrQuality)});
  } else {
    append(arguments, {"-ab", std::to_string(encoding.rate.kbps) + "k"});
  }
  arguments.push_back(encoding.mp3Path);
  return arguments;
}

platform::Mp3EncoderSettings mp3EncoderSettings(const Mp3Encoding& encoding) {
  platform::Mp3EncoderSettings settings;
  settings.wavPath = encoding.wavPath;
  settings.mp3Path = encoding.mp3Path;
  settings.kbps = encoding.rate.kbps;
  settings.vbrQuality = encoding.rate.vbrQuality;
  settings.algorithmQuality = kMp3AlgorithmQuality;
  settings.id3v2Version = kMp3TagVersion;
  settings.filter = levelFilter(encoding.gainDb);
  return settings;
}

// Without -flush_packets 0 the decoder writes each frame (9 KB) to the pipe by itself.
std::vector<std::string> mp3DecodingCommand(const std::string& mp3Path) {
  return {"ffmpeg",         "-nostdin", "-v", "error", "-f",  "mp3", "-i", mp3Path,
          "-flush_packets", "0",        "-f", "f32le", "-ac", "2",   "-"};
}

}  // namespace media
