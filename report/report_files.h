// The files of a job's report: the JSON and CSV of every track's figures, and a page that
// shows them with charts, written together into one folder.
#pragma once

#include <string>

#include "report/job_report.h"

namespace report {

// Writes <folder>/<baseName>.json, .csv and .html for the job; the folder ("" is the working
// folder) is created with its parents when missing. Each file is written under a temporary name in
// the folder and renamed into place only when all three are complete, so an earlier report there is
// replaced only by a whole new one. False when any cannot be written: nothing of the new report is
// then left behind and the earlier files are as they were.
bool writeReport(const JobReport& job, const std::string& folder, const std::string& baseName);

// Removes <folder>/<baseName>.json, .csv and .html (links included, never their targets), so
// that no earlier report passes for a job's when its own could not be written. True when none
// of them is left.
bool removeReport(const std::string& folder, const std::string& baseName);

// The JSON: program, version, started, options, the centres of the spectrum's bands, summary
// and one object per track. Numbers
// are not rounded; non-finite ones are null. Bytes of names that are not UTF-8 become U+FFFD.
std::string reportJson(const JobReport& job);

// The CSV: a header row and one row per track, CRLF line ends, RFC 4180 quoting. dB figures
// have 4 decimals, seconds 3; an absent or non-finite figure is an empty field. Names keep
// their bytes. The spectrum and the engine's band factors are left to the JSON.
std::string reportCsv(const JobReport& job);

// The page: one self-contained UTF-8 HTML file (inline CSS and SVG, no script, nothing
// loaded from elsewhere) with the summary, four charts and a table of every track.
std::string reportHtml(const JobReport& job);

}  // namespace report
