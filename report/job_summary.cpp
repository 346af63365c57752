#include "report/job_summary.h"

#include <cmath>

namespace report {

namespace {

std::optional<Spread> integratedSpread(const JobReport& job,
                                       std::optional<TrackFigures> TrackRecord::*figures) {
  std::vector<double> values;
  for (const TrackRecord& track : job.tracks) {
    const std::optional<TrackFigures>& measured = track.*figures;
    if (inSummary(track) && measured) values.push_back(measured->integratedLufs);
  }
  return spreadOf(values);
}

}  // namespace

StatusCounts statusCounts(const JobReport& job) {
  StatusCounts counts;
  for (const TrackRecord& track : job.tracks) {
    switch (track.status) {
      case TrackStatus::Analyzed:
        ++counts.analyzed;
        ++counts.processed;
        break;
      case TrackStatus::Processed:
        ++counts.processed;
        break;
      case TrackStatus::Skipped:
        ++counts.skipped;
        break;
      case TrackStatus::Failed:
        ++counts.failed;
        break;
    }
  }
  return counts;
}

bool inSummary(const TrackRecord& track) {
  return track.status == TrackStatus::Processed || track.status == TrackStatus::Analyzed;
}

std::optional<Spread> spreadOf(const std::vector<double>& values) {
  Spread spread;
  double sum = 0.0;
  for (double value : values) {
    if (!std::isfinite(value)) continue;
    sum += value;
    ++spread.count;
  }
  if (spread.count == 0) return std::nullopt;
  spread.mean = sum / spread.count;
  // Two passes: the sum of squares minus the squared mean would cancel badly for loudness
  // values that lie close together far from zero.
  double squares = 0.0;
  for (double value : values) {
    if (std::isfinite(value)) squares += (value - spread.mean) * (value - spread.mean);
  }
  spread.deviation = std::sqrt(squares / spread.count);
  return spread;
}

std::optional<Spread> loudnessSpreadBefore(const JobReport& job) {
  return integratedSpread(job, &TrackRecord::before);
}

std::optional<Spread> loudnessSpreadAfter(const JobReport& job) {
  return integratedSpread(job, &TrackRecord::after);
}

}  // namespace report
