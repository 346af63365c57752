// The charts of the report page, as inline SVG: loudness before and after per track, the
// third-octave spectrum before and after, the measured change of the six band levels per track
// as a heat map, and the band levels before and after.
#pragma once

#include <string>

#include "report/job_report.h"

namespace report {

// Each is an <svg class="chart"> of fixed size whose x scale fits the job's track count; the
// tracks in it are those of the summary (processed or analyzed) with the figures it shows,
// at their place in the list. Every drawn datum has class "mark"; a chart with none says so.
std::string loudnessChart(const JobReport& job);
std::string spectrumChart(const JobReport& job);
std::string changeChart(const JobReport& job);
std::string bandsChart(const JobReport& job);

}  // namespace report
