#include "engine/wav_file.h"

#include <cstdio>

namespace engine {

// Placeholders until the WAV rules land.
bool wavNeedsConversion(const std::string&) { return false; }

bool checkDirectWavHeader(TrackState& track, ProcessLog&) {
  std::fclose(track.inputFile);
  track.inputFile = nullptr;
  return false;
}

ConvertedInput openConvertedInput(TrackState& track, const std::string& path, ProcessLog&) {
  track.inputFile = std::fopen(path.c_str(), "rb");
  if (!track.inputFile) return ConvertedInput::CannotOpen;
  std::fseek(track.inputFile, 0, SEEK_END);
  const long length = std::ftell(track.inputFile);
  if (length < 44) {
    std::fclose(track.inputFile);
    track.inputFile = nullptr;
    return ConvertedInput::Unusable;
  }
  track.dataLength = static_cast<std::uint32_t>(length - 44);
  std::fseek(track.inputFile, 0, SEEK_SET);
  if (std::fread(track.header.data(), 1, kWavHeaderBytes, track.inputFile) != kWavHeaderBytes) {}
  track.rateFactor = 1.0f;
  return ConvertedInput::Ready;
}

void saveResult(TrackState& track, ProcessLog&) { track.mp3Requested = false; }

}  // namespace engine
