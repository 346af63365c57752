#include "report/job_summary.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

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

std::optional<ThirdOctaveLevelsMean> spectrumMean(
    const JobReport& job, std::optional<TrackFigures> TrackRecord::*figures) {
  ThirdOctaveLevelsMean mean{};
  std::array<int, loudness::kThirdOctaveBands> counts{};
  bool any = false;
  for (const TrackRecord& track : job.tracks) {
    const std::optional<TrackFigures>& measured = track.*figures;
    if (!inSummary(track) || !measured || !measured->spectrum) continue;
    any = true;
    for (std::size_t band = 0; band < mean.size(); ++band) {
      const double level = (*measured->spectrum)[band];
      if (!std::isfinite(level)) continue;
      mean[band] += level;
      ++counts[band];
    }
  }
  if (!any) return std::nullopt;
  for (std::size_t band = 0; band < mean.size(); ++band) {
    mean[band] = counts[band] > 0 ? mean[band] / counts[band]
                                  : -std::numeric_limits<double>::infinity();
  }
  return mean;
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
      case TrackStatus::NotMusic:
        ++counts.notMusic;
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

std::optional<double> mp3GainDbOf(const TrackRecord& track) {
  if (track.passes == 0) return std::nullopt;
  return track.mp3GainDb;
}

std::optional<StereoBands> bandChangeDb(const TrackRecord& track) {
  if (!track.before || !track.after) return std::nullopt;
  auto change = [](const BandLevels& before, const BandLevels& after) {
    return BandLevels{after.low - before.low, after.mid - before.mid, after.high - before.high};
  };
  return StereoBands{change(track.before->bands.left, track.after->bands.left),
                     change(track.before->bands.right, track.after->bands.right)};
}

std::optional<ThirdOctaveLevelsMean> spectrumMeanBefore(const JobReport& job) {
  return spectrumMean(job, &TrackRecord::before);
}

std::optional<ThirdOctaveLevelsMean> spectrumMeanAfter(const JobReport& job) {
  return spectrumMean(job, &TrackRecord::after);
}

std::string shownSourceName(const JobReport& job, const std::string& source) {
  std::size_t longest = 0;
  for (std::string root : job.sourceRoots) {
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    std::size_t inside = 0;
    if (source == root) {
      inside = root.rfind('/') + 1;  // npos + 1 is 0: a name without a folder stays whole
    } else if (source.size() > root.size() && source.compare(0, root.size(), root) == 0 &&
               (source[root.size()] == '/' || root == "/")) {
      inside = root == "/" ? 1 : root.size() + 1;
    }
    longest = std::max(longest, inside);
  }
  return source.substr(longest);
}

}  // namespace report
