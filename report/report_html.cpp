#include <cmath>
#include <optional>
#include <string>

#include "report/html_text.h"
#include "report/job_summary.h"
#include "report/number_text.h"
#include "report/report_charts.h"
#include "report/report_files.h"

namespace report {

namespace {

// Everything the page needs to look right is here: a report is mailed, archived and opened
// offline, so it may load nothing, not even a font.
constexpr const char* kStyle = R"(:root{color-scheme:light}
body{font:14px/1.45 system-ui,"Segoe UI",Roboto,"Helvetica Neue",Arial,sans-serif;
color:#1d232a;background:#fff;max-width:1200px;margin:24px auto;padding:0 16px}
h1{font-size:1.6em;margin:0 0 4px}
h2{font-size:1.2em;margin:32px 0 8px;padding-bottom:4px;border-bottom:1px solid #d8dde3}
h3{font-size:1em;margin:16px 0 6px}
.meta,.note{color:#5b6672;margin:4px 0}
dl.counts{display:flex;flex-wrap:wrap;gap:12px;margin:8px 0}
dl.counts div{border:1px solid #d8dde3;border-radius:6px;padding:8px 14px;min-width:110px}
dt{color:#5b6672;font-size:.85em}
dd{margin:0;font-size:1.4em;font-variant-numeric:tabular-nums}
table{border-collapse:collapse;font-variant-numeric:tabular-nums}
th,td{padding:3px 6px;border-bottom:1px solid #eceff2;text-align:left;vertical-align:top}
#options th{font-weight:600}
#tracks{width:100%;font-size:13px}
#tracks thead{position:sticky;top:0;background:#f4f6f8}
#tracks th{font-weight:600;vertical-align:bottom}
#tracks thead tr+tr th{white-space:nowrap;text-align:right}
#tracks td{text-align:right;white-space:nowrap}
#tracks td:nth-child(2),#tracks td:nth-child(3),#tracks td:nth-child(4){text-align:left}
#tracks td:nth-child(2){white-space:normal;overflow-wrap:anywhere;min-width:14em}
#tracks td:nth-child(4){white-space:normal;min-width:8em}
#tracks tbody tr:nth-child(even){background:#fafbfc}
#tracks tr.skipped td,#tracks tr.not-music td{color:#6b7580}
#tracks tr.failed td:nth-child(3){color:#b3261e;font-weight:600}
svg.chart{display:block;max-width:100%;height:auto;font-size:12px;margin:8px 0}
svg.chart text{fill:#1d232a}
.axis path{stroke:#5b6672;fill:none}
.axis path.grid{stroke:#e6e9ed}
.axis .label{font-weight:600}
.axis-line{stroke:#5b6672}
.empty{font-style:italic}
circle.before{fill:#fff;stroke:#2f6db5;stroke-width:1.5}
circle.after{fill:#e0761b}
.band-before{fill:#2f6db5;fill-opacity:.13}
.band-after{fill:#e0761b;fill-opacity:.2}
.mean-before,.mean-after{fill:none;stroke-dasharray:6 4}
.mean-before{stroke:#2f6db5}
.mean-after{stroke:#e0761b}
.link{fill:none;stroke:#9aa4ae;stroke-width:1}
.dense circle.before{fill:#2f6db5;stroke:none}
.dense .link{stroke-opacity:.4}
.range{stroke:#39424c;stroke-width:1.5}
.sd{fill:#b8c2cc}
g.before .sd{fill:#2f6db5;fill-opacity:.3}
g.after .sd{fill:#e0761b;fill-opacity:.35}
.mp3{fill:#7b3fa0}
.target{stroke:#b3261e;stroke-width:1.5;stroke-dasharray:2 3;fill:none}
.target-label{fill:#b3261e;font-size:11px}
.mean-spectrum,.track-spectrum{fill:none}
.mean-spectrum{stroke-width:3}
.track-spectrum{stroke-width:1;stroke-opacity:.35}
.before.mean-spectrum,.before.track-spectrum{stroke:#2f6db5}
.after.mean-spectrum,.after.track-spectrum{stroke:#e0761b}
.change.mean-spectrum{stroke:#39424c}
.change.track-spectrum{stroke:#8a949e}
.track-spectrum:hover{stroke-opacity:1;stroke-width:2}
)";

const char* statusText(TrackStatus status) {
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
      return "not music";
  }
  return "";
}

// The row's class: the status in one word.
std::string statusClass(TrackStatus status) {
  return status == TrackStatus::NotMusic ? "not-music" : statusText(status);
}

// Silence measures -infinity: a dash, where an absent figure leaves the cell empty.
std::string cell(std::optional<double> value, int decimals) {
  if (!value) return "<td></td>";
  return "<td>" + (std::isfinite(*value) ? fixedText(*value, decimals) : std::string("–")) +
         "</td>";
}

template <typename Field>
std::string figureCell(const std::optional<TrackFigures>& figures, Field field, int decimals) {
  return cell(figures ? std::optional<double>((*figures).*field) : std::nullopt, decimals);
}

std::string spreadText(const std::optional<Spread>& spread) {
  return spread ? fixedText(spread->deviation, 2) + " LU" : std::string("–");
}

// The options as the page names them; one not listed keeps its own name.
std::string optionName(const std::string& name) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"recursive", "Folders searched recursively"},
      {"jobs", "Tracks worked on at once"},
      {"skip_existing", "Tracks already done skipped"},
      {"output", "Output folder"},
      {"mp3", "MP3 made"},
      {"mp3_192k", "MP3 at 192 kbit/s"},
      {"mp3_only", "MP3 only, WAV removed"},
      {"no_bassline", "No bassline"},
      {"ignore_clicks", "Ignore clicks"},
      {"analyze", "Analysis only, nothing written"},
      {"shard", "Shard"},
      {"loudness_target", "Loudness target (LUFS)"},
      {"replaygain", "ReplayGain tags"}};
  for (const auto& [key, shown] : kNames) {
    if (name == key) return shown;
  }
  return name;
}

std::string optionValueText(const std::string& value) {
  if (value == "true") return "yes";
  if (value == "false") return "no";
  if (value.empty()) return "–";
  return value;
}

std::string summary(const JobReport& job) {
  const StatusCounts counts = statusCounts(job);
  std::string processed = std::to_string(counts.processed);
  if (counts.analyzed > 0) {
    processed += " <small>(" + std::to_string(counts.analyzed) + " analyzed only)</small>";
  }
  std::string html = "<section id=\"summary\"><h2>Summary</h2><dl class=\"counts\">";
  for (const auto& [name, value] :
       {std::pair<const char*, std::string>{"Processed", processed},
        {"Skipped", std::to_string(counts.skipped)},
        {"Failed", std::to_string(counts.failed)},
        {"Not music", std::to_string(counts.notMusic)},
        {"Loudness spread before", spreadText(loudnessSpreadBefore(job))},
        {"Loudness spread after", spreadText(loudnessSpreadAfter(job))}}) {
    html += std::string("<div><dt>") + name + "</dt><dd>" + value + "</dd></div>";
  }
  html +=
      "</dl><p class=\"note\">Loudness spread: the standard deviation of the integrated "
      "loudness across the processed tracks.</p>\n<h3>Options</h3>";
  if (job.options.empty()) {
    html += "<p class=\"note\">None recorded.</p>";
  } else {
    html += "<table id=\"options\"><tbody>";
    for (const auto& [name, value] : job.options) {
      html += "<tr><th scope=\"row\">" + escapeHtml(optionName(name)) + "</th><td>" +
              escapeHtml(optionValueText(value)) + "</td></tr>";
    }
    html += "</tbody></table>";
  }
  return html + "</section>\n";
}

std::string trackRow(const JobReport& job, std::size_t index) {
  const TrackRecord& track = job.tracks[index];
  const bool reachedEngine = track.passes > 0;
  // A gain of 0 where no MP3 was made is no level change of an MP3.
  const std::optional<double> mp3Gain = mp3GainDbOf(track);
  const bool mp3Made = mp3Gain && (track.resultMp3 || *mp3Gain != 0.0);
  std::string row = "<tr class=\"" + statusClass(track.status) + "\"><td>" +
                    std::to_string(index + 1) + "</td><td title=\"" + escapeHtml(track.source) +
                    "\">" + escapeHtml(shownSourceName(job, track.source)) + "</td><td>" +
                    statusText(track.status) + "</td><td>" +
                    (inSummary(track) ? std::string() : escapeHtml(track.reason)) + "</td>";
  row += figureCell(track.before, &TrackFigures::integratedLufs, 1);
  row += figureCell(track.after, &TrackFigures::integratedLufs, 1);
  row += cell(track.mp3IntegratedLufs, 1);
  row += figureCell(track.before, &TrackFigures::loudnessRangeLu, 1);
  row += figureCell(track.after, &TrackFigures::loudnessRangeLu, 1);
  row += figureCell(track.before, &TrackFigures::truePeakDbtp, 2);
  row += figureCell(track.after, &TrackFigures::truePeakDbtp, 2);
  row += cell(track.mp3TruePeakDbtp, 2);
  // One column a band, the mean of both channels; each channel's own change on hover.
  const std::optional<StereoBands> change = bandChangeDb(track);
  for (double BandLevels::*band : {&BandLevels::low, &BandLevels::mid, &BandLevels::high}) {
    if (!change) {
      row += "<td></td>";
      continue;
    }
    const double left = change->left.*band;
    const double right = change->right.*band;
    const double mean = (left + right) / 2.0;
    auto text = [](double value) {
      return std::isfinite(value) ? fixedText(value, 2) : std::string("–");
    };
    row += "<td title=\"left " + text(left) + " dB, right " + text(right) + " dB\">" +
           (std::isfinite(mean) ? signedText(mean, 1) : std::string("–")) + "</td>";
  }
  row += cell(mp3Made ? mp3Gain : std::nullopt, 2);
  row += cell(track.loudnessGainDb, 2);
  row += cell(reachedEngine ? std::optional<double>(track.seconds) : std::nullopt, 1);
  row += "<td>" + (reachedEngine ? std::to_string(track.passes) : std::string()) + "</td></tr>\n";
  return row;
}

std::string trackTable(const JobReport& job) {
  std::string html =
      "<section id=\"track-list\"><h2>Tracks</h2><table id=\"tracks\"><thead><tr>"
      "<th rowspan=\"2\">#</th><th rowspan=\"2\">Source</th><th rowspan=\"2\">Status</th>"
      "<th rowspan=\"2\">Reason</th><th colspan=\"3\">Loudness (LUFS)</th>"
      "<th colspan=\"2\">Loudness range (LU)</th><th colspan=\"3\">True peak (dBTP)</th>"
      "<th colspan=\"3\" title=\"Level after minus level before, in the engine's three bands, "
      "mean of both channels\">Band change (dB)</th><th colspan=\"2\">Gain (dB)</th>"
      "<th rowspan=\"2\">Seconds</th><th rowspan=\"2\">Passes</th></tr><tr>"
      "<th>before</th><th>after</th><th>MP3</th><th>before</th><th>after</th>"
      "<th>before</th><th>after</th><th>MP3</th><th>low</th><th>mid</th><th>high</th>"
      "<th>MP3</th><th title=\"toward the loudness target\">target</th>"
      "</tr></thead>\n<tbody>\n";
  for (std::size_t i = 0; i < job.tracks.size(); ++i) html += trackRow(job, i);
  return html + "</tbody></table></section>\n";
}

}  // namespace

std::string reportHtml(const JobReport& job) {
  std::string title = escapeHtml(job.program) + " report";
  if (!job.started.empty()) title += ", " + escapeHtml(job.started);
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
      title + "</title>\n<style>\n" + kStyle + "</style>\n</head>\n<body>\n<header><h1>" +
      escapeHtml(job.program) + " report</h1><p class=\"meta\">";
  if (!job.version.empty()) html += "Version " + escapeHtml(job.version) + " · ";
  if (!job.started.empty()) html += "started " + escapeHtml(job.started) + " · ";
  html += std::to_string(job.tracks.size()) + (job.tracks.size() == 1 ? " track" : " tracks") +
          "</p></header>\n";
  html += summary(job);
  html += "<section id=\"loudness\"><h2>Loudness before and after</h2>\n" + loudnessChart(job) +
          "</section>\n";
  html += "<section id=\"spectrum\"><h2>Spectrum before and after</h2>\n" + spectrumChart(job) +
          "</section>\n";
  html += "<section id=\"changes\"><h2>Change of each band's level</h2>\n" + changeChart(job) +
          "</section>\n";
  html += "<section id=\"bands\"><h2>Band levels before and after</h2>\n" + bandsChart(job) +
          "</section>\n";
  html += trackTable(job);
  return html + "</body>\n</html>\n";
}

}  // namespace report
