// ReplayGain 2.0 tags of the MP3 results: their texts, the copy of an MP3 that adds them
// without touching its audio, and the album tags written once a folder's tracks are done.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "batch/job_state.h"
#include "batch/job_window.h"
#include "batch/system_services.h"

namespace batch {

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

// For each output folder of the job whose tracks were all measured in it, adds the album gain
// and peak of the folder's MP3s as one programme to each of them, replacing each MP3 only by a
// whole tagged copy. Logs one line a folder ("Album ReplayGain of FOLDER: gain -3.52 dB, peak
// 0.891251, written into 4 of 4 MP3 files") and one for each MP3 it could not tag, which keeps its
// track tags; such an MP3 also gets a notice and sets job.jobFilesFailed. A stop request ends
// the work after the folder's line, with every MP3 whole. Does nothing unless
// job.options.albumReplayGain.
void writeAlbumReplayGain(JobState& job, JobStatus& window, SystemServices& system);

}  // namespace batch
