// The report of one job: what was done to every track, as figures. The batch layer fills it
// entry by entry; the writers turn it into report.json, report.csv and report.html.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "loudness/track_figures.h"

namespace report {

// The figures of a track's audio (see loudness/track_figures.h). Silence gives -infinity, which
// the writers show as null (JSON), empty (CSV) or a dash (HTML).
using loudness::BandLevels;
using loudness::StereoBands;
using loudness::TrackFigures;

// NotMusic: a file that is not music by its name, counted apart from the skipped.
enum class TrackStatus { Processed, Skipped, Failed, Analyzed, NotMusic };

struct TrackRecord {
  std::string source;
  TrackStatus status = TrackStatus::Skipped;
  // Empty for processed and analyzed tracks.
  std::string reason;
  std::optional<std::string> resultWav;
  std::optional<std::string> resultMp3;
  // Length of the audio; 0 when the track never reached the engine.
  double seconds = 0.0;
  // 1 or 2; 0 when the track never reached the engine.
  int passes = 0;
  double processingSeconds = 0.0;
  // Present once the track reached the engine (before) and once it was computed (after).
  std::optional<TrackFigures> before;
  std::optional<TrackFigures> after;
  // The product of the engine's band factors over the passes, in dB: what it asked of the band
  // planes before its limiter. The measured change of each band is after.bands - before.bands.
  std::optional<StereoBands> engineBandFactorsDb;
  // The MP3's peak reduction, 0 or below (above 0 toward a loudness target); 0 when none.
  double mp3GainDb = 0.0;
  // The MP3 as a player decodes it: its true peak whenever it was made, its integrated loudness
  // when the job measured it (with a loudness target or ReplayGain).
  std::optional<double> mp3TruePeakDbtp;
  std::optional<double> mp3IntegratedLufs;
  // With a loudness target: the target in LUFS, and the gain the result got for it in dB (0
  // for a silent result); unset without one.
  std::optional<double> loudnessTargetLufs;
  std::optional<double> loudnessGainDb;
  // How far the result stays below the target for the true-peak ceiling, in LU; 0 when it
  // reached it.
  std::optional<double> loudnessShortLu;
  // Why the result may be shorter than the source ("the source ends early: 7.4 s of 20.0 s could
  // be decoded"); unset for a source that was decoded whole.
  std::optional<std::string> sourceWarning;
};

struct JobReport {
  std::string program = "SonBalancer";
  std::string version;
  // ISO 8601, local time with its offset.
  std::string started;
  // The job's options, as name and value (true/false, numbers and texts as they were given).
  std::vector<std::pair<std::string, std::string>> options;
  // The job's PATHs as given, folders or files: the page names each source relative to the one
  // that holds it.
  std::vector<std::string> sourceRoots;
  std::vector<TrackRecord> tracks;
};

}  // namespace report
