// ReplayGain 2.0 tags of an MP3: their texts, and their writing into a finished MP3 without
// touching its audio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <utility>

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

// The tags as the user text frames that carry them (REPLAYGAIN_TRACK_GAIN, ...); empty texts
// are left out.
std::vector<std::pair<std::string, std::string>> replayGainFrames(const ReplayGainTags& tags);

// Writes the tags into the finished MP3 at mp3Path in place, through the tag library, its audio
// frames untouched (see writeMp3TextFramesInPlace). True when it is then still whole (frames of
// audio).
bool addReplayGainTags(const std::string& mp3Path, const ReplayGainTags& tags,
                       std::uint64_t frames);

}  // namespace media
