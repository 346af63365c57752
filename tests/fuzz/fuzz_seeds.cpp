// Writes the fuzz targets' starting corpus: WAV files from the tests' WAV builders and MP3
// files from the converter with the tags the tests put around them. Usage: fuzz_seeds WAV_DIR
// MP3_DIR (both existing folders). Exits 1 when a file cannot be made.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/engine/wav_bytes.h"
#include "tests/support/media_files.h"
#include "tests/support/mp3_tags.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace wav_testing;

// A format block of the extensible kind, naming its sample format by the code in its
// sub-format.
std::string extensibleFormat(std::uint16_t channels, std::uint32_t sampleRate,
                             std::uint16_t bitsPerSample, std::uint16_t subFormatCode) {
  std::string block = formatBlock(0xFFFE, channels, sampleRate, bitsPerSample);
  appendLe16(block, 22);
  appendLe16(block, bitsPerSample);
  appendLe32(block, 3);
  appendLe16(block, subFormatCode);
  return block + std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
}

void writeWavSeeds(const std::string& folder) {
  // Long enough (over 1 KiB) for the direct checks to read on.
  const std::string frames = numberedFrames(300);
  const std::vector<std::string> seeds = {
      plainWav(2, 44100, frames),
      plainWav(1, 22050, frames),
      plainWav(2, 48000, frames, 32, 3),
      riffWave(chunk("fmt ", formatBlock(1, 2, 44100, 16)) + chunk("LIST", "INFOISFTsb1") +
               chunk("data", frames)),
      riffWave(chunk("fmt ", extensibleFormat(2, 96000, 24, 1)) + chunk("data", frames)),
      plainWav(2, 44100, numberedFrames(4)),
  };
  for (std::size_t index = 0; index < seeds.size(); ++index) {
    testing_support::writeFile(folder + "/wav" + std::to_string(index), seeds[index]);
  }
}

// Each stream a few frames long, so that the fuzzer mutates headers more than audio.
bool writeMp3Seeds(const std::string& folder) {
  const testing_support::TempFolder scratch;
  const std::vector<std::vector<std::string>> layouts = {
      {"-ab", "128k"},
      {"-ab", "32k", "-ar", "22050"},
      {"-ab", "8k", "-ar", "8000", "-ac", "1"},
      {"-ab", "32k", "-write_xing", "0"},
  };
  for (std::size_t index = 0; index < layouts.size(); ++index) {
    const std::string encoded = scratch / ("tone" + std::to_string(index) + ".mp3");
    std::vector<std::string> arguments = layouts[index];
    arguments.insert(arguments.begin(), {"-f", "mp3"});
    if (!testing_support::makeTone(encoded, arguments, 0.1)) return false;
    const std::string stream = testing_support::readFile(encoded);
    testing_support::writeFile(folder + "/mp3-" + std::to_string(index), stream);
    if (index == 0) {
      const std::string id3v1 = "TAG" + std::string(125, '\0');
      testing_support::writeFile(folder + "/mp3-tagged",
                                 testing_support::id3v2Tag(16, true) + stream +
                                     testing_support::apeTag() + id3v1);
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fuzz_seeds WAV_DIR MP3_DIR\n");
    return 2;
  }
  writeWavSeeds(argv[1]);
  if (!writeMp3Seeds(argv[2])) {
    std::fprintf(stderr, "fuzz_seeds: the converter could not make the MP3 seeds\n");
    return 1;
  }
  return 0;
}
