// ReplayGain 2.0 tags of an MP3: their texts, and the copy of an MP3 that adds them without
// touching its audio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/system_services.h"

namespace media {

// The loudness that a track gain of 0 dB plays at.
inline constexpr double kReplayGainReferenceLufs = -18.0;

// The tags an MP3 is given; an empty text is not written.
struct ReplayGainTags {
  std::string trackGain;
  std::string trackPeak;
  std::string albumGain;
  std::string albumPeak;
};

// The gain that brings audio of this loudness to the reference: "-3.52 dB"; "+0.00 dB" for
// silence, which no gain can bring there.
std::string replayGainText(double integratedLufs);

// A true peak in dBTP as the ratio to full scale with six decimals: "0.891251".
std::string replayGainPeakText(double truePeakDbtp);

// The converter's argument list that copies the MP3 at inputPath to outputPath with its audio
// frames, pictures and tags unchanged, and the given tags added as ID3v2.3 TXXX frames.
std::vector<std::string> replayGainCopyArguments(const std::string& inputPath,
                                                 const std::string& outputPath,
                                                 const ReplayGainTags& tags);

// Copies the MP3 at inputPath to outputPath with the tags added. True when the copy is whole
// (frames of audio); otherwise nothing is left at outputPath. inputPath is never changed.
bool addReplayGainTags(const std::string& inputPath, const std::string& outputPath,
                       const ReplayGainTags& tags, std::uint64_t frames, SystemServices& system);

}  // namespace media
