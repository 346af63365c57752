#include "report/report_charts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

#include "report/html_text.h"
#include "report/job_summary.h"
#include "report/number_text.h"

namespace report {

namespace {

constexpr double kChartWidth = 960.0;
constexpr double kPlotLeft = 72.0;
constexpr double kPlotRight = kChartWidth - 24.0;
constexpr double kPlotWidth = kPlotRight - kPlotLeft;
constexpr int kMaxTicks = 10;
// A heat-map column or a mark wider than this would only say "few tracks" more loudly.
constexpr double kMaxColumnWidth = 40.0;
constexpr double kMaxMarkRadius = 5.0;
// Below this a mark disappears at the chart's size; marks then overlap, which reads as density.
constexpr double kMinMarkRadius = 1.2;

constexpr std::array<const char*, 6> kBandNames = {"L low", "L mid", "L high",
                                                   "R low", "R mid", "R high"};
constexpr std::array<const char*, 6> kBandLongNames = {"Left low",  "Left mid",  "Left high",
                                                       "Right low", "Right mid", "Right high"};

// Coordinates to a tenth of a pixel, whole ones without the ".0": finer is invisible, and
// every byte counts a dozen thousand times in the page of a long job.
std::string px(double value) {
  std::string text = fixedText(value, 1);
  if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
  return text;
}

double bandOf(const StereoBands& bands, std::size_t index) {
  const BandLevels& channel = index < 3 ? bands.left : bands.right;
  switch (index % 3) {
    case 0:
      return channel.low;
    case 1:
      return channel.mid;
    default:
      return channel.high;
  }
}

std::string trackLabel(const JobReport& job, std::size_t index) {
  return "#" + std::to_string(index + 1) + " " +
         escapeHtml(shownSourceName(job, job.tracks[index].source));
}

// A value axis: from low to high in steps of 1, 2 or 5 times a power of ten, ends on a step.
struct Scale {
  double low = 0.0;
  double high = 1.0;
  double step = 1.0;
  int decimals = 0;
};

Scale niceScale(double low, double high) {
  if (!(high > low)) {
    low -= 0.5;
    high += 0.5;
  }
  const double raw = (high - low) / kMaxTicks;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  Scale scale;
  for (double multiple : {1.0, 2.0, 5.0, 10.0}) {
    scale.step = multiple * magnitude;
    if ((high - low) / scale.step <= kMaxTicks) break;
  }
  scale.low = std::floor(low / scale.step) * scale.step;
  scale.high = std::ceil(high / scale.step) * scale.step;
  scale.decimals = scale.step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(scale.step)));
  return scale;
}

struct Plot {
  double top = 0.0;
  double height = 0.0;
  Scale scale;
  double y(double value) const {
    return top + (scale.high - value) / (scale.high - scale.low) * height;
  }
};

// kind: "chart", or "chart dense" when the tracks are too many for hollow marks to read.
std::string svgOpen(const char* id, const char* kind, double height, const std::string& title,
                    const std::string& description) {
  const std::string h = px(height);
  return std::string("<svg id=\"") + id + "\" class=\"" + kind +
         "\" role=\"img\" aria-labelledby=\"" + id + "-title " + id + "-desc\" viewBox=\"0 0 " +
         px(kChartWidth) + " " + h + "\" width=\"" + px(kChartWidth) + "\" height=\"" + h +
         "\"><title id=\"" + id + "-title\">" + title + "</title><desc id=\"" + id + "-desc\">" +
         description + "</desc>\n";
}

std::string noData(double height, const char* message) {
  return "<text class=\"empty\" x=\"" + px(kChartWidth / 2) + "\" y=\"" + px(height / 2) +
         "\" text-anchor=\"middle\">" + message + "</text></svg>\n";
}

// The track axis: one slot per track of the list, ticks at round track numbers.
struct TrackAxis {
  std::size_t count = 1;
  double slot() const { return kPlotWidth / static_cast<double>(count); }
  double center(std::size_t index) const { return kPlotLeft + (index + 0.5) * slot(); }
};

std::string trackTicks(const TrackAxis& axis, double baseline) {
  std::size_t step = 1;
  for (std::size_t magnitude = 1; step * kMaxTicks < axis.count; magnitude *= 10) {
    for (std::size_t multiple : {1, 2, 5, 10}) {
      step = multiple * magnitude;
      if (step * kMaxTicks >= axis.count) break;
    }
  }
  std::vector<std::size_t> numbers;
  // Track 1 marks where the list starts; beside a step of 2 it would crowd the first tick.
  if (step == 1 || step >= 5) numbers.push_back(1);
  for (std::size_t number = step; number <= axis.count; number += step) {
    if (number != 1) numbers.push_back(number);
  }
  std::string svg = "<g class=\"axis\">";
  svg += "<path d=\"M" + px(kPlotLeft) + " " + px(baseline) + "H" + px(kPlotRight) + "\"/>";
  for (std::size_t number : numbers) {
    const std::string x = px(axis.center(number - 1));
    svg += "<path d=\"M" + x + " " + px(baseline) + "v5\"/><text x=\"" + x + "\" y=\"" +
           px(baseline + 18) + "\" text-anchor=\"middle\">" + std::to_string(number) + "</text>";
  }
  svg += "<text class=\"label\" x=\"" + px(kPlotLeft + kPlotWidth / 2) + "\" y=\"" +
         px(baseline + 38) + "\" text-anchor=\"middle\">Track (place in the list)</text></g>\n";
  return svg;
}

std::string valueAxis(const Plot& plot, const char* label) {
  std::string svg = "<g class=\"axis\">";
  const int steps =
      static_cast<int>(std::lround((plot.scale.high - plot.scale.low) / plot.scale.step));
  for (int i = 0; i <= steps; ++i) {
    const double value = plot.scale.low + i * plot.scale.step;
    const std::string y = px(plot.y(value));
    svg += "<path class=\"grid\" d=\"M" + px(kPlotLeft) + " " + y + "H" + px(kPlotRight) +
           "\"/><text x=\"" + px(kPlotLeft - 8) + "\" y=\"" + y +
           "\" dy=\"0.35em\" text-anchor=\"end\">" + fixedText(value, plot.scale.decimals) +
           "</text>";
  }
  const std::string middle = px(plot.top + plot.height / 2);
  svg += "<text class=\"label\" transform=\"translate(18 " + middle +
         ") rotate(-90)\" text-anchor=\"middle\">" + label + "</text></g>\n";
  return svg;
}

struct LegendItem {
  std::string swatch;  // drawn with its left edge at 0 and its middle at 0
  std::string text;
};

std::string legend(const std::vector<LegendItem>& items, double y) {
  std::string svg = "<g class=\"legend\">";
  double x = kPlotLeft;
  for (const LegendItem& item : items) {
    svg += "<g transform=\"translate(" + px(x) + " " + px(y) + ")\">" + item.swatch +
           "<text x=\"22\" dy=\"0.35em\">" + item.text + "</text></g>";
    // About 6.5 px a character at the legend's size.
    x += 34.0 + 6.5 * static_cast<double>(item.text.size());
  }
  return svg + "</g>\n";
}

std::string circleSwatch(const char* kind) {
  return std::string("<circle class=\"") + kind + "\" cx=\"8\" cy=\"0\" r=\"5\"/>";
}

std::string boxSwatch(const char* kind) {
  return std::string("<rect class=\"") + kind + "\" x=\"0\" y=\"-6\" width=\"16\" height=\"12\"/>";
}

std::string markTitle(const std::string& label) { return "<title>" + label + "</title>"; }

std::string levelText(const std::optional<double>& value, const char* unit) {
  return value ? fixedText(*value, 1) + " " + unit : std::string("–");
}

}  // namespace

std::string loudnessChart(const JobReport& job) {
  constexpr double kHeight = 400.0;
  const TrackAxis axis{job.tracks.size()};
  std::string svg =
      svgOpen("loudness-chart", axis.slot() < 4.0 ? "chart dense" : "chart", kHeight,
              "Integrated loudness of each track before and after",
              "For every track in list order, its integrated loudness in LUFS before and after the "
              "job, with the mean plus and minus one standard deviation of each shaded.");

  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  auto finiteLoudness = [](const std::optional<TrackFigures>& figures) {
    return figures && std::isfinite(figures->integratedLufs)
               ? std::optional<double>(figures->integratedLufs)
               : std::nullopt;
  };
  auto finiteMp3 = [](const TrackRecord& track) {
    return track.mp3IntegratedLufs && std::isfinite(*track.mp3IntegratedLufs)
               ? track.mp3IntegratedLufs
               : std::nullopt;
  };
  // The job's target, the same for every track that has one.
  std::optional<double> target;
  bool anyMp3 = false;
  for (const TrackRecord& track : job.tracks) {
    if (!inSummary(track)) continue;
    if (track.loudnessTargetLufs) target = track.loudnessTargetLufs;
    anyMp3 = anyMp3 || finiteMp3(track).has_value();
    for (const auto& value :
         {finiteLoudness(track.before), finiteLoudness(track.after), finiteMp3(track), target}) {
      if (!value) continue;
      low = std::min(low, *value);
      high = std::max(high, *value);
    }
  }
  if (!(high >= low)) return svg + noData(kHeight, "No processed track has a loudness to show.");

  const std::optional<Spread> before = loudnessSpreadBefore(job);
  const std::optional<Spread> after = loudnessSpreadAfter(job);
  for (const auto& spread : {before, after}) {
    if (!spread) continue;
    low = std::min(low, spread->mean - spread->deviation);
    high = std::max(high, spread->mean + spread->deviation);
  }
  Plot plot{56.0, kHeight - 56.0 - 56.0, niceScale(low - 0.5, high + 0.5)};
  const double radius = std::clamp(axis.slot() * 0.35, kMinMarkRadius, kMaxMarkRadius);

  std::vector<LegendItem> items = {{circleSwatch("before"), "Before"},
                                   {circleSwatch("after"), "After"}};
  if (anyMp3) items.push_back({"<path class=\"mp3\" d=\"M8 -5L13 0L8 5L3 0Z\"/>", "MP3"});
  items.push_back({boxSwatch("band-before"), "Before: mean ± SD"});
  items.push_back({boxSwatch("band-after"), "After: mean ± SD"});
  if (target) items.push_back({"<path class=\"target\" d=\"M0 0H16\"/>", "Target"});
  svg += legend(items, 22.0);
  svg += valueAxis(plot, "Integrated loudness (LUFS)");
  for (const auto& [spread, kind] : {std::pair{before, "before"}, std::pair{after, "after"}}) {
    if (!spread) continue;
    const double top = plot.y(spread->mean + spread->deviation);
    const double bottom = plot.y(spread->mean - spread->deviation);
    svg += std::string("<rect class=\"band-") + kind + "\" x=\"" + px(kPlotLeft) + "\" y=\"" +
           px(top) + "\" width=\"" + px(kPlotWidth) + "\" height=\"" + px(bottom - top) +
           "\"><title>" + (kind == std::string("before") ? "Before" : "After") + ": mean " +
           fixedText(spread->mean, 2) + " LUFS, standard deviation " +
           fixedText(spread->deviation, 2) + " LU</title></rect>";
    svg += std::string("<path class=\"mean-") + kind + "\" d=\"M" + px(kPlotLeft) + " " +
           px(plot.y(spread->mean)) + "H" + px(kPlotRight) + "\"/>\n";
  }

  if (target) {
    const std::string y = px(plot.y(*target));
    svg += "<path class=\"target\" d=\"M" + px(kPlotLeft) + " " + y + "H" + px(kPlotRight) +
           "\"><title>Loudness target " + fixedText(*target, 1) + " LUFS</title></path><text " +
           "class=\"target-label\" x=\"" + px(kPlotLeft + 4) + "\" y=\"" + y +
           "\" dy=\"-0.4em\">target " + fixedText(*target, 1) +
           " LUFS</text>\n";
  }

  // The links from before to after go in one path: one element per track would double the
  // size of a long job's page for lines nobody hovers.
  std::string links;
  std::string marks;
  for (std::size_t i = 0; i < job.tracks.size(); ++i) {
    const TrackRecord& track = job.tracks[i];
    if (!inSummary(track)) continue;
    const std::optional<double> was = finiteLoudness(track.before);
    const std::optional<double> is = finiteLoudness(track.after);
    if (!was && !is) continue;
    const std::string x = px(axis.center(i));
    if (was && is) links += "M" + x + " " + px(plot.y(*was)) + "V" + px(plot.y(*is));
    const std::optional<double> mp3 = finiteMp3(track);
    marks += "<g>" + markTitle(trackLabel(job, i) + ": before " + levelText(was, "LUFS") +
                               ", after " + levelText(is, "LUFS") +
                               (mp3 ? ", MP3 " + levelText(mp3, "LUFS") : std::string()));
    if (mp3) {
      const double y = plot.y(*mp3);
      marks += "<path class=\"mark mp3\" d=\"M" + x + " " + px(y - radius) + "l" + px(radius) +
               " " + px(radius) + "l-" + px(radius) + " " + px(radius) + "l-" + px(radius) + " -" +
               px(radius) + "Z\"/>";
    }
    for (const auto& [value, kind] : {std::pair{was, "before"}, std::pair{is, "after"}}) {
      if (value) {
        marks += std::string("<circle class=\"mark ") + kind + "\" cx=\"" + x + "\" cy=\"" +
                 px(plot.y(*value)) + "\" r=\"" + px(radius) + "\"/>";
      }
    }
    marks += "</g>\n";
  }
  if (!links.empty()) svg += "<path class=\"link\" d=\"" + links + "\"/>\n";
  svg += marks;
  svg += trackTicks(axis, plot.top + plot.height);
  return svg + "</svg>\n";
}

std::string changeChart(const JobReport& job) {
  constexpr double kRowHeight = 28.0;
  constexpr double kTop = 52.0;
  constexpr double kHeight = kTop + 6 * kRowHeight + 56.0;
  std::string svg = svgOpen("change-chart", "chart", kHeight, "Change of each band's level",
                            "A heat map of the measured change of the six band levels in dB "
                            "(after minus before, in the engine's bands), one column per track "
                            "in list order: blue lowered, red raised.");

  std::vector<std::optional<StereoBands>> changes;
  for (const TrackRecord& track : job.tracks) {
    changes.push_back(inSummary(track) ? bandChangeDb(track) : std::nullopt);
  }
  double largest = 0.0;
  bool any = false;
  for (const std::optional<StereoBands>& change : changes) {
    if (!change) continue;
    for (std::size_t band = 0; band < 6; ++band) {
      const double gain = bandOf(*change, band);
      if (!std::isfinite(gain)) continue;
      any = true;
      largest = std::max(largest, std::abs(gain));
    }
  }
  if (!any) return svg + noData(kHeight, "No processed track has band levels before and after.");
  // Whole decibels at either end, so that the legend reads plainly.
  const double limit = std::max(1.0, std::ceil(largest));

  svg +=
      "<defs><linearGradient id=\"gain-scale\"><stop offset=\"0\" stop-color=\"#2166ac\"/>"
      "<stop offset=\"0.5\" stop-color=\"#f7f7f7\"/><stop offset=\"1\" "
      "stop-color=\"#b2182b\"/></linearGradient></defs>\n";
  const std::string limitText = fixedText(limit, 0);
  // The scale's left end sits past the widest "−NN lower" beside the "Change (dB):" label.
  constexpr double kScaleLeft = kPlotLeft + 180;
  svg += "<g class=\"legend\"><text x=\"" + px(kPlotLeft) + "\" y=\"22\" dy=\"0.35em\">Change " +
         "(dB):</text><text x=\"" + px(kScaleLeft - 6) + "\" y=\"22\" dy=\"0.35em\" " +
         "text-anchor=\"end\">−" + limitText + " lower</text><rect x=\"" + px(kScaleLeft) +
         "\" y=\"16\" width=\"200\" height=\"12\" fill=\"url(#gain-scale)\"/><text x=\"" +
         px(kScaleLeft + 100) + "\" y=\"40\" text-anchor=\"middle\">0</text><text x=\"" +
         px(kScaleLeft + 206) + "\" y=\"22\" dy=\"0.35em\">+" + limitText + " higher</text></g>\n";

  svg += "<g class=\"axis\">";
  for (std::size_t band = 0; band < 6; ++band) {
    svg += "<text x=\"" + px(kPlotLeft - 8) + "\" y=\"" + px(kTop + (band + 0.5) * kRowHeight) +
           "\" dy=\"0.35em\" text-anchor=\"end\">" + kBandNames[band] + "</text>";
  }
  svg += "</g>\n";

  const TrackAxis axis{job.tracks.size()};
  const double slot = axis.slot();
  // Columns of a few pixels keep a gap between them; narrower ones would turn to stripes.
  const double width = slot >= 4.0 ? std::min(slot - 1.0, kMaxColumnWidth) : slot;
  // A cell is a vertical stroke of the column's width: half the bytes of a rect, and the
  // heat map of a long job is most of its page.
  svg += "<g class=\"cells\" stroke-width=\"" + px(width) + "\">\n";
  for (std::size_t i = 0; i < job.tracks.size(); ++i) {
    if (!changes[i]) continue;
    std::string title = trackLabel(job, i) + ": change";
    std::string cells;
    const std::string x = px(axis.center(i));
    for (std::size_t band = 0; band < 6; ++band) {
      const double gain = bandOf(*changes[i], band);
      title += std::string(band == 0 ? " " : ", ") + kBandNames[band] + " " +
               (std::isfinite(gain) ? fixedText(gain, 2) : std::string("–"));
      if (!std::isfinite(gain)) continue;
      // From white at 0 dB to the full colour at the limit, straight in sRGB.
      const double t = std::clamp(std::abs(gain) / limit, 0.0, 1.0);
      const int far[3] = {gain < 0 ? 0x21 : 0xb2, gain < 0 ? 0x66 : 0x18, gain < 0 ? 0xac : 0x2b};
      int rgb[3];
      for (int c = 0; c < 3; ++c) {
        rgb[c] = static_cast<int>(std::lround(0xf7 + t * (far[c] - 0xf7)));
      }
      char colour[8];
      std::snprintf(colour, sizeof colour, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
      cells += "<path class=\"mark\" d=\"M" + x + " " + px(kTop + band * kRowHeight) + "v" +
               px(kRowHeight - 1) + "\" stroke=\"" + colour + "\"/>";
    }
    svg += "<g>" + markTitle(title + " dB") + cells + "</g>\n";
  }
  svg += "</g>\n";
  svg += trackTicks(axis, kTop + 6 * kRowHeight);
  return svg + "</svg>\n";
}

std::string bandsChart(const JobReport& job) {
  constexpr double kHeight = 400.0;
  std::string svg =
      svgOpen("bands-chart", "chart", kHeight, "Band levels before and after",
              "For each band of each channel, the mean RMS level in dBFS across tracks before and "
              "after, with one standard deviation as a box and the range across tracks as a line.");

  struct Series {
    Spread spread;
    double low = 0.0;
    double high = 0.0;
  };
  std::array<std::array<std::optional<Series>, 2>, 6> series;
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (std::size_t band = 0; band < 6; ++band) {
    for (int when = 0; when < 2; ++when) {
      std::vector<double> values;
      for (const TrackRecord& track : job.tracks) {
        const std::optional<TrackFigures>& figures = when == 0 ? track.before : track.after;
        if (!inSummary(track) || !figures) continue;
        const double value = bandOf(figures->bands, band);
        if (std::isfinite(value)) values.push_back(value);
      }
      const std::optional<Spread> spread = spreadOf(values);
      if (!spread) continue;
      const auto [least, most] = std::minmax_element(values.begin(), values.end());
      series[band][when] = Series{*spread, *least, *most};
      low = std::min(low, *least);
      high = std::max(high, *most);
    }
  }
  if (!(high >= low)) return svg + noData(kHeight, "No processed track has band levels to show.");

  Plot plot{56.0, kHeight - 56.0 - 48.0, niceScale(low - 0.5, high + 0.5)};
  svg += legend({{circleSwatch("before"), "Before: mean"},
                 {circleSwatch("after"), "After: mean"},
                 {boxSwatch("sd"), "± standard deviation"},
                 {"<path class=\"range\" d=\"M8 -7V7\"/>", "range across tracks"}},
                22.0);
  svg += valueAxis(plot, "Band level (dBFS RMS)");

  const double group = kPlotWidth / 6;
  const double baseline = plot.top + plot.height;
  for (std::size_t band = 0; band < 6; ++band) {
    const double center = kPlotLeft + (band + 0.5) * group;
    svg += "<text class=\"group\" x=\"" + px(center) + "\" y=\"" + px(baseline + 22) +
           "\" text-anchor=\"middle\">" + kBandLongNames[band] + "</text>";
    for (int when = 0; when < 2; ++when) {
      if (!series[band][when]) continue;
      const Series& s = *series[band][when];
      const char* kind = when == 0 ? "before" : "after";
      const std::string x = px(center + (when == 0 ? -0.15 : 0.15) * group);
      const double boxTop = plot.y(s.spread.mean + s.spread.deviation);
      const double boxBottom = plot.y(s.spread.mean - s.spread.deviation);
      svg += std::string("<g class=\"") + kind + "\">" +
             markTitle(std::string(kBandLongNames[band]) + ", " + kind + ": mean " +
                       fixedText(s.spread.mean, 2) + " dBFS, standard deviation " +
                       fixedText(s.spread.deviation, 2) + " dB, range " + fixedText(s.low, 2) +
                       " to " + fixedText(s.high, 2) + " dBFS, " + std::to_string(s.spread.count) +
                       " tracks") +
             "<path class=\"range\" d=\"M" + x + " " + px(plot.y(s.high)) + "V" +
             px(plot.y(s.low)) + "\"/><rect class=\"sd\" x=\"" +
             px(center + (when == 0 ? -0.15 : 0.15) * group - 9) + "\" y=\"" + px(boxTop) +
             "\" width=\"18\" height=\"" + px(boxBottom - boxTop) + "\"/><circle class=\"mark " +
             kind + "\" cx=\"" + x + "\" cy=\"" + px(plot.y(s.spread.mean)) + "\" r=\"5\"/></g>\n";
    }
  }
  svg += "<path class=\"axis-line\" d=\"M" + px(kPlotLeft) + " " + px(baseline) + "H" +
         px(kPlotRight) + "\"/>\n";
  return svg + "</svg>\n";
}

namespace {

// Past this many tracks a line each would hide the means and swell the page; the means alone
// are drawn.
constexpr std::size_t kMostSpectrumLines = 40;

std::string bandLabel(double hertz) {
  if (hertz < 1000.0) return fixedText(hertz, hertz == std::floor(hertz) ? 0 : 1);
  const double kilo = hertz / 1000.0;
  const int decimals = kilo == std::floor(kilo) ? 0 : kilo * 10 == std::floor(kilo * 10) ? 1 : 2;
  return fixedText(kilo, decimals) + "k";
}

double bandX(std::size_t band) {
  return kPlotLeft + (static_cast<double>(band) + 0.5) * kPlotWidth / loudness::kThirdOctaveBands;
}

// A line through the finite levels of the bands; a gap where a band is silent.
std::string spectrumPath(const loudness::ThirdOctaveLevels& levels, const Plot& plot) {
  std::string d;
  bool drawing = false;
  for (std::size_t band = 0; band < levels.size(); ++band) {
    if (!std::isfinite(levels[band])) {
      drawing = false;
      continue;
    }
    const double value = std::clamp(levels[band], plot.scale.low, plot.scale.high);
    d += (drawing ? "L" : "M") + px(bandX(band)) + " " + px(plot.y(value));
    drawing = true;
  }
  return d;
}

std::string bandTicks(double baseline) {
  std::string svg = "<g class=\"axis\">";
  svg += "<path d=\"M" + px(kPlotLeft) + " " + px(baseline) + "H" + px(kPlotRight) + "\"/>";
  // Octaves from 31.5 Hz: every third band.
  for (std::size_t band = 0; band < loudness::kThirdOctaveBands; band += 3) {
    const std::string x = px(bandX(band));
    svg += "<path d=\"M" + x + " " + px(baseline) + "v5\"/><text x=\"" + x + "\" y=\"" +
           px(baseline + 18) + "\" text-anchor=\"middle\">" +
           bandLabel(loudness::kThirdOctaveCentresHz[band]) + "</text>";
  }
  svg += "<text class=\"label\" x=\"" + px(kPlotLeft + kPlotWidth / 2) + "\" y=\"" +
         px(baseline + 38) + "\" text-anchor=\"middle\">Third-octave band (Hz)</text></g>\n";
  return svg;
}

std::optional<loudness::ThirdOctaveLevels> spectrumChange(const TrackRecord& track) {
  if (!track.before || !track.after || !track.before->spectrum || !track.after->spectrum) {
    return std::nullopt;
  }
  loudness::ThirdOctaveLevels change;
  for (std::size_t band = 0; band < change.size(); ++band) {
    change[band] = (*track.after->spectrum)[band] - (*track.before->spectrum)[band];
  }
  return change;
}

std::string levelsTitle(const std::string& label, const loudness::ThirdOctaveLevels& levels,
                        bool signedValues) {
  std::string title = label + ":";
  for (std::size_t band = 0; band < levels.size(); ++band) {
    title += (band == 0 ? " " : ", ") + bandLabel(loudness::kThirdOctaveCentresHz[band]) + " " +
             (std::isfinite(levels[band])
                  ? (signedValues ? signedText(levels[band], 1) : fixedText(levels[band], 1))
                  : std::string("–"));
  }
  return title + (signedValues ? " dB" : " dBFS");
}

}  // namespace

std::string spectrumChart(const JobReport& job) {
  constexpr double kLevelsTop = 56.0;
  constexpr double kLevelsHeight = 260.0;
  constexpr double kChangeTop = kLevelsTop + kLevelsHeight + 36.0;
  constexpr double kChangeHeight = 160.0;
  constexpr double kHeight = kChangeTop + kChangeHeight + 56.0;
  std::string svg = svgOpen(
      "spectrum-chart", "chart", kHeight, "Spectrum of the tracks before and after",
      "Above, the level of each third-octave band in dBFS, the mean across tracks before and "
      "after as thick lines and each track as a thin one; below, each band's change in dB, "
      "after minus before.");

  const std::optional<loudness::ThirdOctaveLevels> before = spectrumMeanBefore(job);
  const std::optional<loudness::ThirdOctaveLevels> after = spectrumMeanAfter(job);
  if (!before && !after) return svg + noData(kHeight, "No processed track has a spectrum to show.");

  std::vector<std::size_t> shown;
  for (std::size_t i = 0; i < job.tracks.size(); ++i) {
    const TrackRecord& track = job.tracks[i];
    if (inSummary(track) && ((track.before && track.before->spectrum) ||
                             (track.after && track.after->spectrum))) {
      shown.push_back(i);
    }
  }
  const bool eachTrack = shown.size() <= kMostSpectrumLines;

  // The level scale spans every line drawn, down to 60 dB below the loudest band: deeper
  // bands are near silence and would squeeze the rest.
  double high = -std::numeric_limits<double>::infinity();
  double low = std::numeric_limits<double>::infinity();
  auto take = [&](const std::optional<loudness::ThirdOctaveLevels>& levels) {
    if (!levels) return;
    for (double level : *levels) {
      if (!std::isfinite(level)) continue;
      high = std::max(high, level);
      low = std::min(low, level);
    }
  };
  take(before);
  take(after);
  std::vector<std::optional<loudness::ThirdOctaveLevels>> changes;
  double largestChange = 1.0;
  for (std::size_t i : shown) {
    const TrackRecord& track = job.tracks[i];
    if (eachTrack) {
      take(track.before ? track.before->spectrum : std::nullopt);
      take(track.after ? track.after->spectrum : std::nullopt);
    }
    changes.push_back(spectrumChange(track));
    if (!changes.back()) continue;
    for (double change : *changes.back()) {
      if (std::isfinite(change)) largestChange = std::max(largestChange, std::abs(change));
    }
  }
  if (!(high >= low)) return svg + noData(kHeight, "No processed track has a spectrum to show.");
  low = std::max(low, high - 60.0);
  const Plot levels{kLevelsTop, kLevelsHeight, niceScale(low - 1.0, high + 1.0)};
  const double changeLimit = std::ceil(largestChange);
  const Plot change{kChangeTop, kChangeHeight, niceScale(-changeLimit, changeLimit)};

  svg += legend({{"<path class=\"mean-spectrum before\" d=\"M0 0H16\"/>", "Before: mean"},
                 {"<path class=\"mean-spectrum after\" d=\"M0 0H16\"/>", "After: mean"},
                 {"<path class=\"mean-spectrum change\" d=\"M0 0H16\"/>", "Change: mean"},
                 {"<path class=\"track-spectrum change\" d=\"M0 0H16\"/>", "Each track"}},
                22.0);
  svg += valueAxis(levels, "Level (dBFS)");
  svg += valueAxis(change, "Change (dB)");
  svg += "<path class=\"axis-line\" d=\"M" + px(kPlotLeft) + " " + px(change.y(0.0)) + "H" +
         px(kPlotRight) + "\"/>\n";

  if (eachTrack) {
    for (std::size_t k = 0; k < shown.size(); ++k) {
      const std::size_t i = shown[k];
      const TrackRecord& track = job.tracks[i];
      const std::string label = trackLabel(job, i);
      for (const auto& [figures, kind] :
           {std::pair{&track.before, "before"}, std::pair{&track.after, "after"}}) {
        if (!*figures || !(*figures)->spectrum) continue;
        svg += std::string("<path class=\"mark track-spectrum ") + kind + "\" d=\"" +
               spectrumPath(*(*figures)->spectrum, levels) + "\">" +
               markTitle(levelsTitle(label + ", " + kind, *(*figures)->spectrum, false)) +
               "</path>\n";
      }
      if (changes[k]) {
        svg += "<path class=\"mark track-spectrum change\" d=\"" +
               spectrumPath(*changes[k], change) + "\">" +
               markTitle(levelsTitle(label + ", change", *changes[k], true)) + "</path>\n";
      }
    }
  }
  for (const auto& [mean, kind] : {std::pair{&before, "before"}, std::pair{&after, "after"}}) {
    if (!*mean) continue;
    svg += std::string("<path class=\"mark mean-spectrum ") + kind + "\" d=\"" +
           spectrumPath(**mean, levels) + "\">" +
           markTitle(levelsTitle(std::string("Mean ") + kind, **mean, false)) + "</path>\n";
  }
  if (before && after) {
    loudness::ThirdOctaveLevels meanChange;
    for (std::size_t band = 0; band < meanChange.size(); ++band) {
      meanChange[band] = (*after)[band] - (*before)[band];
    }
    svg += "<path class=\"mark mean-spectrum change\" d=\"" + spectrumPath(meanChange, change) +
           "\">" + markTitle(levelsTitle("Mean change", meanChange, true)) + "</path>\n";
  }
  svg += bandTicks(change.top + change.height);
  return svg + "</svg>\n";
}

}  // namespace report
