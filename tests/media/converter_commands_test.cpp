#include "media/converter_commands.h"

#include <gtest/gtest.h>

namespace {

TEST(ConverterCommands, ConversionLogsTheSharedNameQuotedAndKeepsEveryPathWholeAsArguments) {
  const media::ConverterCommand command = media::conversionCommand(
      "/m/My \"Best\" Ça.mp3", "/m/sonbalanced/.w/TMPOUT-2.WAV", "/m/sonbalanced/TMPOUT.WAV");
  EXPECT_EQ(
      command.commandLine,
      "ffmpeg -i \"/m/My \"Best\" Ça.mp3\" -f wav -flags bitexact -acodec pcm_s16le -ar 44100 "
      "-ac 2 \"/m/sonbalanced/TMPOUT.WAV\"");
  EXPECT_EQ(command.arguments,
            (std::vector<std::string>{
                "ffmpeg", "-protocol_whitelist", "file", "-format_whitelist",
                "mp3,mov,avi,flv,ogg,asf,matroska,mpeg,mpegts,wav,w64,flac,aac,aiff,wv,ape", "-i",
                "/m/My \"Best\" Ça.mp3", "-f", "wav", "-flags", "bitexact", "-acodec", "pcm_s16le",
                "-ar", "44100", "-ac", "2", "-nostats", "-hide_banner", "-loglevel", "level+info",
                "/m/sonbalanced/.w/TMPOUT-2.WAV"}));
}

}  // namespace
