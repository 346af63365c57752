#include "report/report_files.h"

#include <charconv>
#include <cmath>
#include <exception>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "platform/safe_files.h"
#include "report/job_summary.h"
#include "report/number_text.h"

namespace report {

namespace {

namespace fs = std::filesystem;
// Ordered, so that the keys come in the order a reader expects, not alphabetically.
using Json = nlohmann::ordered_json;

constexpr int kDbDecimals = 4;
constexpr int kSecondsDecimals = 3;

const char* statusName(TrackStatus status) {
  switch (status) {
    case TrackStatus::Processed:
      return "processed";
    case TrackStatus::Skipped:
      return "skipped";
    case TrackStatus::Failed:
      return "failed";
    case TrackStatus::Analyzed:
      return "analyzed";
    case TrackStatus::NotMusic:
      return "not_music";
  }
  return "";
}

Json number(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

Json optionalNumber(const std::optional<double>& value) {
  return value ? number(*value) : Json(nullptr);
}

Json optionalText(const std::optional<std::string>& text) {
  return text ? Json(*text) : Json(nullptr);
}

// Options arrive as texts; a reader of the JSON wants true, 3 and -14.5 as such.
Json optionValue(const std::string& text) {
  if (text == "true") return true;
  if (text == "false") return false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  long long integer = 0;
  auto parsed = std::from_chars(begin, end, integer);
  if (parsed.ec == std::errc() && parsed.ptr == end) return integer;
  double real = 0.0;
  parsed = std::from_chars(begin, end, real);
  // from_chars also reads "inf" and "nan", which JSON cannot hold as numbers.
  if (parsed.ec == std::errc() && parsed.ptr == end && std::isfinite(real)) return real;
  return text;
}

Json bandsJson(const StereoBands& bands) {
  auto channel = [](const BandLevels& levels) {
    return Json{
        {"low", number(levels.low)}, {"mid", number(levels.mid)}, {"high", number(levels.high)}};
  };
  return Json{{"left", channel(bands.left)}, {"right", channel(bands.right)}};
}

Json optionalBands(const std::optional<StereoBands>& bands) {
  return bands ? bandsJson(*bands) : Json(nullptr);
}

Json spectrumJson(const loudness::ThirdOctaveLevels& levels) {
  Json array = Json::array();
  for (double level : levels) array.push_back(number(level));
  return array;
}

Json optionalSpectrum(const std::optional<loudness::ThirdOctaveLevels>& levels) {
  return levels ? spectrumJson(*levels) : Json(nullptr);
}

Json figuresJson(const std::optional<TrackFigures>& figures) {
  if (!figures) return nullptr;
  return Json{{"integrated_lufs", number(figures->integratedLufs)},
              {"loudness_range_lu", number(figures->loudnessRangeLu)},
              {"true_peak_dbtp", number(figures->truePeakDbtp)},
              {"sample_peak_dbfs", number(figures->samplePeakDbfs)},
              {"bands", bandsJson(figures->bands)},
              {"third_octave_dbfs", optionalSpectrum(figures->spectrum)}};
}

Json trackJson(const TrackRecord& track) {
  return Json{{"source", track.source},
              {"status", statusName(track.status)},
              {"reason", inSummary(track) ? Json(nullptr) : Json(track.reason)},
              {"result_wav", optionalText(track.resultWav)},
              {"result_mp3", optionalText(track.resultMp3)},
              {"seconds", number(track.seconds)},
              {"passes", track.passes},
              {"processing_seconds", number(track.processingSeconds)},
              {"before", figuresJson(track.before)},
              {"after", figuresJson(track.after)},
              {"band_change_db", optionalBands(bandChangeDb(track))},
              {"engine_band_factors_db", optionalBands(track.engineBandFactorsDb)},
              {"mp3_gain_db", optionalNumber(mp3GainDbOf(track))},
              {"mp3_true_peak_dbtp", optionalNumber(track.mp3TruePeakDbtp)},
              {"mp3_integrated_lufs", optionalNumber(track.mp3IntegratedLufs)},
              {"loudness_gain_db", optionalNumber(track.loudnessGainDb)},
              {"loudness_target_lufs", optionalNumber(track.loudnessTargetLufs)},
              {"loudness_short_lu", optionalNumber(track.loudnessShortLu)},
              {"source_warning", optionalText(track.sourceWarning)}};
}

Json spreadJson(const std::optional<Spread>& spread) {
  return spread ? Json(spread->deviation) : Json(nullptr);
}

// RFC 4180: a field holding a separator, a quote or a line end is quoted, quotes doubled.
// Each field is followed by a comma; the row's last one becomes its line end.
void appendCsvField(std::string& row, const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    row += text;
  } else {
    row += '"';
    for (char c : text) {
      if (c == '"') row += '"';
      row += c;
    }
    row += '"';
  }
  row += ',';
}

std::string csvNumber(double value, int decimals) {
  return std::isfinite(value) ? fixedText(value, decimals) : "";
}

void appendBandsCsv(std::string& row, const StereoBands& bands) {
  for (const BandLevels* levels : {&bands.left, &bands.right}) {
    for (double value : {levels->low, levels->mid, levels->high}) {
      appendCsvField(row, csvNumber(value, kDbDecimals));
    }
  }
}

void appendFiguresCsv(std::string& row, const std::optional<TrackFigures>& figures) {
  if (!figures) {
    for (int field = 0; field < 10; ++field) appendCsvField(row, "");
    return;
  }
  for (double value : {figures->integratedLufs, figures->loudnessRangeLu, figures->truePeakDbtp,
                       figures->samplePeakDbfs}) {
    appendCsvField(row, csvNumber(value, kDbDecimals));
  }
  appendBandsCsv(row, figures->bands);
}

std::string csvHeader() {
  std::string header =
      "source,status,reason,result_wav,result_mp3,seconds,passes,processing_seconds";
  for (const char* when : {"before", "after"}) {
    for (const char* figure :
         {"integrated_lufs", "loudness_range_lu", "true_peak_dbtp", "sample_peak_dbfs"}) {
      header += std::string(",") + when + "_" + figure;
    }
    for (const char* channel : {"left", "right"}) {
      for (const char* band : {"low", "mid", "high"}) {
        header += std::string(",") + when + "_" + channel + "_" + band + "_dbfs";
      }
    }
  }
  for (const char* channel : {"left", "right"}) {
    for (const char* band : {"low", "mid", "high"}) {
      header += std::string(",change_") + channel + "_" + band + "_db";
    }
  }
  return header +
         ",mp3_gain_db,mp3_true_peak_dbtp,mp3_integrated_lufs,loudness_gain_db,"
         "loudness_target_lufs,loudness_short_lu,source_warning";
}

struct ReportFile {
  fs::path target;
  // Both under new unpredictable names beside the target, so that nothing planted at a name
  // known beforehand is written through.
  fs::path partial;
  fs::path earlier;  // a link to (or copy of) the file it replaces, to put back on failure
  std::string text;
  bool hadEarlier = false;
  bool renamed = false;
};

// Keeps what the target holds now under another name, without moving the target itself.
bool keepEarlier(ReportFile& file) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(file.target, error);
  if (!fs::exists(status) || fs::is_directory(status)) return true;
  std::string earlier;
  file.hadEarlier = platform::keepUnderUniqueName(file.target.string(), earlier,
                                                  file.target.string() + ".old-XXXXXX");
  file.earlier = earlier;
  return file.hadEarlier;
}

bool writePartial(ReportFile& file) {
  std::string partial;
  if (!platform::writeUniqueFile(partial, file.target.string() + ".part-XXXXXX", file.text)) {
    return false;
  }
  file.partial = partial;
  return true;
}

// Undoes what a failed writeReport did, so that the folder holds the earlier report alone.
void restoreEarlier(std::vector<ReportFile>& files) {
  std::error_code error;
  for (ReportFile& file : files) {
    if (file.renamed) {
      if (file.hadEarlier) {
        fs::rename(file.earlier, file.target, error);
      } else {
        fs::remove(file.target, error);
      }
    }
    if (!file.partial.empty()) fs::remove(file.partial, error);
    if (file.hadEarlier) fs::remove(file.earlier, error);
  }
}

}  // namespace

std::string reportJson(const JobReport& job) {
  // Nothing here may escape as an exception; running out of memory gives an empty text.
  try {
    Json options = Json::object();
    for (const auto& [name, value] : job.options) options[name] = optionValue(value);
    const StatusCounts counts = statusCounts(job);
    Json tracks = Json::array();
    for (const TrackRecord& track : job.tracks) tracks.push_back(trackJson(track));
    const Json report{{"program", job.program},
                      {"version", job.version},
                      {"started", job.started},
                      {"options", std::move(options)},
                      {"third_octave_centres_hz", loudness::kThirdOctaveCentresHz},
                      {"summary",
                       {{"processed", counts.processed},
                        {"skipped", counts.skipped},
                        {"failed", counts.failed},
                        {"not_music", counts.notMusic},
                        {"loudness_spread_before_lu", spreadJson(loudnessSpreadBefore(job))},
                        {"loudness_spread_after_lu", spreadJson(loudnessSpreadAfter(job))},
                        {"third_octave_mean_before_dbfs",
                         optionalSpectrum(spectrumMeanBefore(job))},
                        {"third_octave_mean_after_dbfs",
                         optionalSpectrum(spectrumMeanAfter(job))}}},
                      {"tracks", std::move(tracks)}};
    // File names are the file system's bytes; JSON must be UTF-8, so stray bytes become U+FFFD.
    return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  } catch (const std::exception&) {
    return "";
  }
}

std::string reportCsv(const JobReport& job) {
  std::string csv = csvHeader() + "\r\n";
  for (const TrackRecord& track : job.tracks) {
    std::string row;
    appendCsvField(row, track.source);
    appendCsvField(row, statusName(track.status));
    appendCsvField(row, inSummary(track) ? "" : track.reason);
    appendCsvField(row, track.resultWav.value_or(""));
    appendCsvField(row, track.resultMp3.value_or(""));
    appendCsvField(row, csvNumber(track.seconds, kSecondsDecimals));
    appendCsvField(row, std::to_string(track.passes));
    appendCsvField(row, csvNumber(track.processingSeconds, kSecondsDecimals));
    appendFiguresCsv(row, track.before);
    appendFiguresCsv(row, track.after);
    if (const std::optional<StereoBands> change = bandChangeDb(track)) {
      appendBandsCsv(row, *change);
    } else {
      for (int field = 0; field < 6; ++field) appendCsvField(row, "");
    }
    for (const std::optional<double>& mp3 :
         {mp3GainDbOf(track), track.mp3TruePeakDbtp, track.mp3IntegratedLufs}) {
      appendCsvField(row, mp3 ? csvNumber(*mp3, kDbDecimals) : "");
    }
    appendCsvField(row, track.loudnessGainDb ? csvNumber(*track.loudnessGainDb, kDbDecimals) : "");
    appendCsvField(
        row, track.loudnessTargetLufs ? csvNumber(*track.loudnessTargetLufs, kDbDecimals) : "");
    appendCsvField(row,
                   track.loudnessShortLu ? csvNumber(*track.loudnessShortLu, kDbDecimals) : "");
    appendCsvField(row, track.sourceWarning.value_or(""));
    row.back() = '\r';
    csv += row + "\n";
  }
  return csv;
}

bool removeReport(const std::string& folder, const std::string& baseName) {
  const fs::path where = folder.empty() ? fs::path(".") : fs::path(folder);
  bool noneLeft = true;
  for (const char* extension : {".json", ".csv", ".html"}) {
    const fs::path file = where / (baseName + extension);
    std::error_code error;
    fs::remove(file, error);
    if (fs::exists(fs::symlink_status(file, error))) noneLeft = false;
  }
  return noneLeft;
}

bool writeReport(const JobReport& job, const std::string& folder, const std::string& baseName) {
  const fs::path where = folder.empty() ? fs::path(".") : fs::path(folder);
  std::error_code error;
  fs::create_directories(where, error);
  if (!fs::is_directory(where, error)) return false;

  std::vector<ReportFile> files;
  for (const char* extension : {".json", ".csv", ".html"}) {
    ReportFile file;
    file.target = where / (baseName + extension);
    files.push_back(std::move(file));
  }
  files[0].text = reportJson(job);
  files[1].text = reportCsv(job);
  files[2].text = reportHtml(job);
  if (files[0].text.empty()) return false;

  for (ReportFile& file : files) {
    if (!writePartial(file) || !keepEarlier(file)) {
      restoreEarlier(files);
      return false;
    }
  }
  for (ReportFile& file : files) {
    fs::rename(file.partial, file.target, error);
    if (error) {
      restoreEarlier(files);
      return false;
    }
    file.renamed = true;
  }
  for (ReportFile& file : files) {
    if (file.hadEarlier) fs::remove(file.earlier, error);
  }
  return true;
}

}  // namespace report
