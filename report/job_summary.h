// What the summary of a job's report says: the counts of the track statuses and the spread of
// loudness that the job closed. The JSON and the HTML page state the same figures from here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/job_report.h"

namespace report {

using ThirdOctaveLevelsMean = loudness::ThirdOctaveLevels;

struct StatusCounts {
  // Analyzed tracks count here too: they went through the engine like processed ones.
  int processed = 0;
  int skipped = 0;
  int failed = 0;
  int analyzed = 0;  // of processed, those only measured
  int notMusic = 0;
};

StatusCounts statusCounts(const JobReport& job);

// Whether the track's figures take part in the summary and the charts: processed or analyzed.
// A failed track may carry figures measured before it failed; they describe no result.
bool inSummary(const TrackRecord& track);

// Population mean and standard deviation of a set of values, in their unit (LUFS and LU for
// loudness, dBFS and dB for band levels).
struct Spread {
  double mean = 0.0;
  double deviation = 0.0;
  int count = 0;
};

// Over the finite values given; nothing when there are none.
std::optional<Spread> spreadOf(const std::vector<double>& values);

// Over the integrated loudness of the summary's tracks before (resp. after) that have it
// finite; nothing when no track has.
std::optional<Spread> loudnessSpreadBefore(const JobReport& job);
std::optional<Spread> loudnessSpreadAfter(const JobReport& job);

// The measured change of each band's level, after minus before, in dB; nothing unless both
// were measured. A band silent before or after gives a non-finite change.
std::optional<StereoBands> bandChangeDb(const TrackRecord& track);

// The MP3's level change as this job set it; none for a track that never reached the engine
// (its results, if any, were made by an earlier job).
std::optional<double> mp3GainDbOf(const TrackRecord& track);

// The mean third-octave levels across the summary's tracks before (resp. after): each band's
// mean of the finite levels of the tracks measured; nothing when no track has a spectrum.
std::optional<ThirdOctaveLevelsMean> spectrumMeanBefore(const JobReport& job);
std::optional<ThirdOctaveLevelsMean> spectrumMeanAfter(const JobReport& job);

// How the page names a source: by its path inside the job's PATH that holds it (a file given
// alone by its own name); by its whole path when no PATH holds it.
std::string shownSourceName(const JobReport& job, const std::string& source);

}  // namespace report
