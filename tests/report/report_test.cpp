#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "platform/child_process.h"
#include "report/report_files.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_patterns.h"

namespace fs = std::filesystem;
using report::JobReport;
using report::TrackFigures;
using report::TrackRecord;
using report::TrackStatus;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

constexpr double kSilence = -std::numeric_limits<double>::infinity();

TrackFigures figures(double lufs, double bandOffset = 0.0) {
  loudness::ThirdOctaveLevels spectrum;
  for (std::size_t band = 0; band < spectrum.size(); ++band) {
    spectrum[band] = -30.0 - 0.5 * static_cast<double>(band) + bandOffset;
  }
  return {lufs,
          6.5,
          -1.25,
          -1.5,
          {{-30 + bandOffset, -20 + bandOffset, -25 + bandOffset},
           {-31 + bandOffset, -21 + bandOffset, -26 + bandOffset}},
          spectrum};
}

TrackRecord track(std::string source, TrackStatus status, std::string reason = "") {
  TrackRecord record;
  record.source = std::move(source);
  record.status = status;
  record.reason = std::move(reason);
  return record;
}

// Two processed tracks (one silent), one analyzed, one skipped, one failed that was measured
// before it failed: its loudness must stay out of the spread.
JobReport smallJob() {
  JobReport job;
  job.version = "1.70";
  job.started = "2026-12-09T08:00:00+01:00";
  job.options = {{"two_passes", "true"},  {"mp3", "false"}, {"target_lufs", "-14"},
                 {"ratio", "0.5"},        {"limit", "inf"}, {"tag", "12abc"},
                 {"output", "/music/out"}};
  TrackRecord a = track("a.wav", TrackStatus::Processed, "ignored for a processed track");
  a.resultWav = "a_eq.wav";
  a.resultMp3 = "a.mp3";
  a.seconds = 180.25;
  a.passes = 2;
  a.processingSeconds = 3.5;
  a.before = figures(-20.123456789);
  a.after = figures(-15.00004, 1.0);
  a.engineBandFactorsDb = report::StereoBands{{1.5, -0.25, 0.125}, {2.0, -3.0, -0.00001}};
  a.mp3GainDb = -0.75;
  a.mp3TruePeakDbtp = -1.125;
  a.mp3IntegratedLufs = -18.25;
  a.loudnessTargetLufs = -18.0;
  a.loudnessGainDb = 2.125;
  a.loudnessShortLu = 0.5;
  TrackRecord silent = track("silence.wav", TrackStatus::Processed);
  silent.before = silent.after =
      TrackFigures{kSilence,
                   kSilence,
                   kSilence,
                   kSilence,
                   {{kSilence, kSilence, kSilence}, {kSilence, kSilence, kSilence}},
                   std::nullopt};
  silent.engineBandFactorsDb = report::StereoBands{};
  silent.passes = 1;
  TrackRecord analyzed = track("b.wav", TrackStatus::Analyzed);
  analyzed.before = figures(-11.123456789);
  TrackRecord failed = track("broken\xff.wav", TrackStatus::Failed, "could not read");
  failed.before = figures(-40.0);
  job.tracks = {a, silent, analyzed, track("notes.txt", TrackStatus::Skipped, "not a WAV file"),
                failed};
  return job;
}

TEST(ReportJson, SummaryCountsSpreadsAndNulls) {
  const nlohmann::json json = nlohmann::json::parse(report::reportJson(smallJob()));
  EXPECT_EQ(json["program"], "SonBalancer");
  EXPECT_EQ(json["options"],
            nlohmann::json::parse(R"({"two_passes": true, "mp3": false, "target_lufs": -14,
              "ratio": 0.5, "limit": "inf", "tag": "12abc", "output": "/music/out"})"));
  const nlohmann::json& summary = json["summary"];
  EXPECT_EQ(summary["processed"], 3);
  EXPECT_EQ(summary["skipped"], 1);
  EXPECT_EQ(summary["failed"], 1);
  // Population deviation of -20.123456789 and -11.123456789; the sample one would be 6.36.
  EXPECT_NEAR(summary["loudness_spread_before_lu"].get<double>(), 4.5, 1e-12);
  EXPECT_EQ(summary["loudness_spread_after_lu"], 0.0);

  const nlohmann::json& tracks = json["tracks"];
  ASSERT_EQ(tracks.size(), 5u);
  EXPECT_TRUE(tracks[0]["reason"].is_null());
  EXPECT_EQ(tracks[0]["before"]["integrated_lufs"], -20.123456789);
  EXPECT_EQ(tracks[0]["after"]["bands"]["right"]["high"], -25.0);
  EXPECT_EQ(tracks[0]["engine_band_factors_db"]["right"]["high"], -0.00001);
  EXPECT_EQ(tracks[0]["band_change_db"]["left"]["low"], 1.0);
  EXPECT_EQ(tracks[0]["mp3_true_peak_dbtp"], -1.125);
  EXPECT_EQ(tracks[0]["mp3_integrated_lufs"], -18.25);
  EXPECT_EQ(tracks[0]["after"]["third_octave_dbfs"][27], -42.5);
  EXPECT_EQ(json["third_octave_centres_hz"][15], 1000);
  // The mean across the summary's tracks (a and b; the silent one has no spectrum).
  EXPECT_EQ(summary["third_octave_mean_before_dbfs"][0], -30.0);
  EXPECT_EQ(summary["third_octave_mean_after_dbfs"][0], -29.0);
  EXPECT_EQ(tracks[0]["result_mp3"], "a.mp3");
  EXPECT_EQ(tracks[0]["seconds"], 180.25);
  EXPECT_EQ(tracks[0]["loudness_gain_db"], 2.125);
  EXPECT_EQ(tracks[0]["loudness_target_lufs"], -18.0);
  EXPECT_EQ(tracks[0]["loudness_short_lu"], 0.5);
  EXPECT_TRUE(tracks[1]["loudness_gain_db"].is_null());
  EXPECT_TRUE(tracks[1]["before"]["integrated_lufs"].is_null());
  EXPECT_TRUE(tracks[1]["after"]["bands"]["left"]["mid"].is_null());
  EXPECT_EQ(tracks[1]["engine_band_factors_db"]["left"]["low"], 0.0);
  // Silent before and after: no change can be told.
  EXPECT_TRUE(tracks[1]["band_change_db"]["left"]["low"].is_null());
  EXPECT_TRUE(tracks[1]["mp3_true_peak_dbtp"].is_null());
  EXPECT_EQ(tracks[2]["status"], "analyzed");
  EXPECT_TRUE(tracks[2]["after"].is_null());
  EXPECT_TRUE(tracks[2]["engine_band_factors_db"].is_null());
  EXPECT_TRUE(tracks[2]["band_change_db"].is_null());
  EXPECT_EQ(tracks[3]["reason"], "not a WAV file");
  EXPECT_TRUE(tracks[3]["result_wav"].is_null());
  EXPECT_TRUE(tracks[3]["before"].is_null());
  EXPECT_EQ(tracks[4]["source"], "broken\xEF\xBF\xBD.wav");
  EXPECT_EQ(tracks[4]["status"], "failed");
}

TEST(ReportJson, NoTrackWithLoudnessGivesNullSpreads) {
  JobReport job;
  job.tracks = {track("x.wav", TrackStatus::Skipped, "not found")};
  const nlohmann::json json = nlohmann::json::parse(report::reportJson(job));
  EXPECT_TRUE(json["summary"]["loudness_spread_before_lu"].is_null());
  EXPECT_TRUE(json["summary"]["loudness_spread_after_lu"].is_null());
}

TEST(ReportCsv, HeaderRowsAndQuoting) {
  JobReport job = smallJob();
  job.tracks[3].source = "say \"hi\", then\nbye.wav";
  job.tracks[0].sourceWarning = "ends early: 7.4 s, of 20.0 s";
  const std::string csv = report::reportCsv(job);
  const std::string header =
      "source,status,reason,result_wav,result_mp3,seconds,passes,processing_seconds,"
      "before_integrated_lufs,before_loudness_range_lu,before_true_peak_dbtp,"
      "before_sample_peak_dbfs,before_left_low_dbfs,before_left_mid_dbfs,before_left_high_dbfs,"
      "before_right_low_dbfs,before_right_mid_dbfs,before_right_high_dbfs,"
      "after_integrated_lufs,after_loudness_range_lu,after_true_peak_dbtp,"
      "after_sample_peak_dbfs,after_left_low_dbfs,after_left_mid_dbfs,after_left_high_dbfs,"
      "after_right_low_dbfs,after_right_mid_dbfs,after_right_high_dbfs,"
      "change_left_low_db,change_left_mid_db,change_left_high_db,change_right_low_db,"
      "change_right_mid_db,change_right_high_db,mp3_gain_db,mp3_true_peak_dbtp,"
      "mp3_integrated_lufs,loudness_gain_db,loudness_target_lufs,loudness_short_lu,"
      "source_warning\r\n";
  const std::string empties(10, ',');
  const std::string noBands(6, ',');
  // The tracks that never reached the engine (no passes) have no MP3 gain of this job's.
  EXPECT_EQ(csv, header +
                     "a.wav,processed,,a_eq.wav,a.mp3,180.250,2,3.500,"
                     "-20.1235,6.5000,-1.2500,-1.5000,-30.0000,-20.0000,-25.0000,-31.0000,-21.0000,"
                     "-26.0000,-15.0000,6.5000,-1.2500,-1.5000,-29.0000,-19.0000,-24.0000,-30.0000,"
                     "-20.0000,-25.0000,1.0000,1.0000,1.0000,1.0000,1.0000,1.0000,-0.7500,-1.1250,"
                     "-18.2500,2.1250,"
                     "-18.0000,0.5000,\"ends early: 7.4 s, of 20.0 s\"\r\n"
                     "silence.wav,processed,,,,0.000,1,0.000" +
                     empties + empties + noBands +
                     ",0.0000,,,,,,\r\n"
                     "b.wav,analyzed,,,,0.000,0,0.000,-11.1235,6.5000,-1.2500,-1.5000,-30.0000,"
                     "-20.0000,-25.0000,-31.0000,-21.0000,-26.0000" +
                     empties + noBands +
                     ",,,,,,,\r\n"
                     "\"say \"\"hi\"\", then\nbye.wav\",skipped,not a WAV file,,,0.000,0,0.000" +
                     empties + empties + noBands +
                     ",,,,,,,\r\n"
                     "broken\xff.wav,failed,could not read,,,0.000,0,0.000,-40.0000,6.5000,-1.2500,"
                     "-1.5000,-30.0000,-20.0000,-25.0000,-31.0000,-21.0000,-26.0000" +
                     empties + noBands + ",,,,,,,\r\n");
}

// A file-size limit makes a write run short, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = nullptr;
};

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Many tracks; every hundredth was skipped, so it has no figures.
JobReport longJob(int count) {
  JobReport job = smallJob();
  job.tracks.clear();
  for (int i = 0; i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "Artist %d – Title ünïcode %04d.flac", i % 37, i);
    if (i % 100 == 99) {
      job.tracks.push_back(track(name, TrackStatus::Skipped, "not a supported file"));
      continue;
    }
    TrackRecord record = track(name, TrackStatus::Processed);
    record.before = figures(-24.0 + (i % 17) * 0.9, (i % 7) - 3.0);
    record.after = figures(-14.5 + (i % 5) * 0.2, (i % 3) - 1.0);
    record.engineBandFactorsDb =
        report::StereoBands{{(i % 13) * 0.5 - 3, (i % 11) * 0.4 - 2, (i % 9) - 4.0},
                            {(i % 13) * 0.45 - 3, (i % 7) * 0.3 - 1, (i % 5) - 2.0}};
    record.seconds = 200.0 + i % 60;
    record.passes = 1 + i % 2;
    job.tracks.push_back(record);
  }
  return job;
}

TEST(WriteReport, WritesTheThreeFilesIntoANewFolder) {
  TempFolder temp;
  const JobReport job = smallJob();
  const std::string folder = temp / "reports/today";
  ASSERT_TRUE(report::writeReport(job, folder, "report"));
  EXPECT_EQ(namesIn(folder),
            (std::vector<std::string>{"report.csv", "report.html", "report.json"}));
  EXPECT_EQ(readFile(folder + "/report.json"), report::reportJson(job));
  EXPECT_EQ(readFile(folder + "/report.csv"), report::reportCsv(job));
  EXPECT_EQ(readFile(folder + "/report.html"), report::reportHtml(job));
}

TEST(WriteReport, FolderUnderARegularFileFails) {
  TempFolder temp;
  writeFile(temp / "file", "x");
  EXPECT_FALSE(report::writeReport(smallJob(), temp / "file/reports", "report"));
  EXPECT_EQ(readFile(temp / "file"), "x");
}

TEST(WriteReport, ShortWriteKeepsTheEarlierReportWhole) {
  TempFolder temp;
  const JobReport earlier = smallJob();
  ASSERT_TRUE(report::writeReport(earlier, temp.path().string(), "report"));
  {
    // The small report's files fit; those of 2,000 tracks do not.
    FileSizeLimit limit(64 * 1024);
    EXPECT_FALSE(report::writeReport(longJob(2000), temp.path().string(), "report"));
  }
  EXPECT_EQ(namesIn(temp.path()),
            (std::vector<std::string>{"report.csv", "report.html", "report.json"}));
  EXPECT_EQ(readFile(temp / "report.json"), report::reportJson(earlier));
  EXPECT_EQ(readFile(temp / "report.csv"), report::reportCsv(earlier));
  EXPECT_EQ(readFile(temp / "report.html"), report::reportHtml(earlier));
}

TEST(WriteReport, RenameRefusedHalfwayPutsTheEarlierFilesBack) {
  TempFolder temp;
  writeFile(temp / "report.json", "earlier json");
  writeFile(temp / "report.csv", "earlier csv");
  // The page cannot replace a folder, after the JSON and CSV were renamed into place.
  fs::create_directories(temp / "report.html/occupied");
  EXPECT_FALSE(report::writeReport(smallJob(), temp.path().string(), "report"));
  EXPECT_EQ(namesIn(temp.path()),
            (std::vector<std::string>{"report.csv", "report.html", "report.json"}));
  EXPECT_EQ(readFile(temp / "report.json"), "earlier json");
  EXPECT_EQ(readFile(temp / "report.csv"), "earlier csv");
  EXPECT_TRUE(fs::is_directory(temp / "report.html/occupied"));
}

TEST(ReportHtml, EscapesNamesAndLoadsNothing) {
  JobReport job = smallJob();
  job.tracks[0].source = "<b>\"Tom\" & 'Jerry'</b>\xff\xc3(\xed\xa0\x80.wav";
  const std::string html = report::reportHtml(job);
  EXPECT_NE(html.find("&lt;b&gt;&quot;Tom&quot; &amp; &#39;Jerry&#39;&lt;/b&gt;"
                      "\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD.wav"),
            std::string::npos);
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_EQ(html.find("http://"), std::string::npos);
  EXPECT_EQ(html.find("https://"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  // Chromium logs no error for a missing file:// resource, so no reference to one may exist.
  EXPECT_FALSE(testing_support::holdsPattern(html, R"(src=|href=|@import|url\((?!#))"));
}

// The page as headless Chromium loads it: its DOM after loading, and what it logged.
struct Rendered {
  platform::ChildOutcome outcome;
  std::string dom;
  std::string log;
};

Rendered renderInBrowser(const TempFolder& temp, const std::string& html,
                         const std::string& windowSize = "1280,900") {
  const std::string page = temp / "page.html";
  writeFile(page, html);
  fs::create_directories(temp / "profile");
  // Its home goes to the test's folder too, so that it writes nothing outside.
  const std::string command =
      "HOME=\"$1\" XDG_CONFIG_HOME=\"$1\" XDG_CACHE_HOME=\"$1\" exec timeout 60 "
      "/usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--user-data-dir=\"$1\" --enable-logging=stderr --v=0 --window-size=\"$4\" "
      "--dump-dom \"file://$2\" "
      "2>\"$3\"";
  Rendered rendered;
  rendered.outcome = platform::runChildReadingOutput(
      {"sh", "-c", command, "sh", temp / "profile", page, temp / "browser.log", windowSize},
      [&](const char* bytes, std::size_t count) {
        rendered.dom.append(bytes, count);
        return true;
      });
  rendered.log = readFile(temp / "browser.log");
  return rendered;
}

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The marks of the chart <svg id="id" class="chart ...">, or -1 when there is no such element.
long marksInChart(const std::string& dom, const std::string& id) {
  const std::vector<std::string> open =
      testing_support::firstMatch(dom, "<svg id=\"" + id + "\" class=\"chart( [a-z]+)?\"[^>]*>");
  if (open.empty()) return -1;
  // No text of a match stands before the first match.
  const std::size_t start = dom.find(open[0]);
  const std::size_t end = dom.find("</svg>", start);
  return static_cast<long>(countOf(dom.substr(start, end - start), "class=\"mark"));
}

long rowsOfTrackTable(const std::string& dom) {
  const std::size_t table = dom.find("<table id=\"tracks\">");
  if (table == std::string::npos) return -1;
  const std::size_t body = dom.find("<tbody>", table);
  const std::size_t end = dom.find("</tbody>", body);
  return static_cast<long>(countOf(dom.substr(body, end - body), "<tr"));
}

void expectCleanLoad(const Rendered& rendered) {
  ASSERT_TRUE(rendered.outcome.started);
  ASSERT_TRUE(rendered.outcome.exitStatusRead);
  ASSERT_EQ(rendered.outcome.exitStatus, 0) << "124 is the 60 s timeout\n" << rendered.log;
  ASSERT_NE(rendered.dom.find("</html>"), std::string::npos) << rendered.log;
  std::istringstream lines(rendered.log);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.find("CONSOLE"), std::string::npos) << line;
    EXPECT_EQ(line.find("Uncaught"), std::string::npos) << line;
    EXPECT_EQ(line.find("ERR_"), std::string::npos) << line;
  }
}

class BrowserPage : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists("/usr/bin/chromium"))
        << "/usr/bin/chromium is missing: scripts/setup.sh installs the chromium package";
  }
  TempFolder temp;
};

TEST_F(BrowserPage, OneTrackShowsItsChartsAndRow) {
  JobReport job = smallJob();
  job.tracks.resize(1);
  job.tracks[0].source = "<b>\"Tom\" & 'Jerry'</b>\xff.wav";
  const Rendered rendered = renderInBrowser(temp, report::reportHtml(job));
  expectCleanLoad(rendered);
  EXPECT_EQ(rowsOfTrackTable(rendered.dom), 1);
  // Before, after and the MP3.
  EXPECT_EQ(marksInChart(rendered.dom, "loudness-chart"), 3);
  EXPECT_EQ(marksInChart(rendered.dom, "change-chart"), 6);
  // The track's three lines (before, after, change) and the three means.
  EXPECT_EQ(marksInChart(rendered.dom, "spectrum-chart"), 6);
  EXPECT_EQ(marksInChart(rendered.dom, "bands-chart"), 12);
  // The name stayed text: the parser made no <b> element of it.
  EXPECT_NE(rendered.dom.find("&lt;b&gt;\"Tom\" &amp; 'Jerry'&lt;/b&gt;\xEF\xBF\xBD.wav"),
            std::string::npos);
  EXPECT_EQ(rendered.dom.find("<b>"), std::string::npos);
}

TEST_F(BrowserPage, TwoThousandTracksStayUnderThreeMegabytes) {
  const std::string html = report::reportHtml(longJob(2000));
  EXPECT_LT(html.size(), 3'000'000u);
  RecordProperty("page_bytes", std::to_string(html.size()));
  EXPECT_EQ(html.find("http://"), std::string::npos);
  EXPECT_EQ(html.find("https://"), std::string::npos);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  const Rendered rendered = renderInBrowser(temp, html);
  expectCleanLoad(rendered);
  EXPECT_EQ(rowsOfTrackTable(rendered.dom), 2000);
  EXPECT_EQ(marksInChart(rendered.dom, "loudness-chart"), 2 * 1980);
  EXPECT_EQ(marksInChart(rendered.dom, "change-chart"), 6 * 1980);
  EXPECT_EQ(marksInChart(rendered.dom, "spectrum-chart"), 3);
  EXPECT_EQ(marksInChart(rendered.dom, "bands-chart"), 12);
}

// A library's job with a loudness target, long names deep in the job's folder, at 1280 px: the
// page needs no sideways scrolling, names its sources inside the folder with the whole path on
// hover, and every loudness mark names its track. A script added to the page measures it.
TEST_F(BrowserPage, ALibraryReadsAt1280PixelsWithoutScrollingSideways) {
  const std::string root = "/home/someone/Music/Library";
  JobReport job = smallJob();
  job.sourceRoots = {root + "/"};
  job.options.push_back({"loudness_target", "-16"});
  job.tracks.clear();
  for (int i = 0; i < 12; ++i) {
    TrackRecord record = track(root + "/An Artist With A Long Name – An Album Title (Deluxe " +
                                   "Edition)/" + std::to_string(i + 1) +
                                   " - A Rather Long Track Title (Extended Club Mix).flac",
                               TrackStatus::Processed);
    record.before = figures(-22.0 + i, 0.5 * i);
    record.after = figures(-16.05 + 0.01 * i, 1.0);
    record.engineBandFactorsDb = report::StereoBands{{30.5, -1.25, 37.5}, {30.25, -1.5, 36.0}};
    record.resultWav = "/home/someone/Music/Library/sonbalanced/x_eq.wav";
    record.resultMp3 = "/home/someone/Music/Library/sonbalanced/x.mp3";
    record.mp3GainDb = 0.35;
    record.mp3TruePeakDbtp = -1.21;
    record.mp3IntegratedLufs = -16.4;
    record.loudnessTargetLufs = -16.0;
    record.loudnessGainDb = 3.25;
    record.loudnessShortLu = 0.0;
    record.seconds = 245.5;
    record.passes = 2;
    job.tracks.push_back(record);
  }
  job.tracks.push_back(track(root + "/notes/a file that is not music at all, with a long name.txt",
                             TrackStatus::Skipped, "not a multimedia file"));
  std::string html = report::reportHtml(job);
  const std::string measure =
      "<script>document.body.dataset.layout = [document.documentElement.scrollWidth, "
      "document.documentElement.clientWidth, "
      "Math.ceil(document.getElementById('tracks').getBoundingClientRect().right)].join(' ');"
      "</script>";
  html.insert(html.rfind("</body>"), measure);
  const Rendered rendered = renderInBrowser(temp, html);
  expectCleanLoad(rendered);
  const std::vector<std::string> layout =
      testing_support::firstMatch(rendered.dom, "data-layout=\"([0-9]+) ([0-9]+) ([0-9]+)\"");
  ASSERT_EQ(layout.size(), 4u);
  const int pageWidth = std::stoi(layout[1]);
  const int viewport = std::stoi(layout[2]);
  const int tableRight = std::stoi(layout[3]);
  EXPECT_GT(viewport, 1200);
  EXPECT_LE(pageWidth, viewport);
  EXPECT_LE(tableRight, viewport);

  const std::string inside = "An Artist With A Long Name – An Album Title (Deluxe Edition)/1 - A "
                             "Rather Long Track Title (Extended Club Mix).flac";
  EXPECT_NE(rendered.dom.find("<td title=\"" + root + "/" + inside + "\">" + inside + "</td>"),
            std::string::npos);
  // Each of the 12 tracks' loudness marks sits in a group titled with its name.
  EXPECT_EQ(
      testing_support::matchCount(rendered.dom,
                                  "<g><title>#([0-9]+) An Artist With A Long Name[^<]*: "
                                  "before [^<]*, MP3 -16.4 LUFS</title><path class=\"mark mp3\""),
      12u);
  EXPECT_NE(rendered.dom.find("target -16.0 LUFS"), std::string::npos);
  EXPECT_NE(rendered.dom.find("<th scope=\"row\">Loudness target (LUFS)</th>"), std::string::npos);
}

}  // namespace
