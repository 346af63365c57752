// What the summary of a job's report says: the counts of the track statuses and the spread of
// loudness that the job closed. The JSON and the HTML page state the same figures from here.
#pragma once

#include <optional>
#include <vector>

#include "report/job_report.h"

namespace report {

struct StatusCounts {
  // Analyzed tracks count here too: they went through the engine like processed ones.
  int processed = 0;
  int skipped = 0;
  int failed = 0;
  int analyzed = 0;  // of processed, those only measured
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

}  // namespace report
