// The job's report through the real command: every figure of every track, the same results
// and log as without it, and a job that only analyses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/media_files.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::makeTone;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

const std::string kCommand = std::string(SONBALANCER_BINARY_DIR) + "/bin/sonbalancer-cli";

class ReportCommand : public ::testing::Test {
 protected:
  ReportCommand() {
    fs::create_directory(music());
    EXPECT_TRUE(makeTone(music() + "/a.ogg", {"-acodec", "libvorbis"}, 2.0, 300));
    EXPECT_TRUE(makeTone(music() + "/b.wav", {"-acodec", "pcm_s16le", "-f", "wav"}, 2.0, 2000));
    writeFile(music() + "/notes.txt", "not music");
  }
  std::string music() const { return root_ / "Music"; }
  std::string output() const { return music() + "/sonbalanced/"; }

  int run(const TempFolder& work, const std::string& arguments) {
    const std::string line = "cd '" + work.path().string() + "' && '" + kCommand + "' " +
                             arguments + " '" + music() + "' 2>'" + (work / "errors.txt") +
                             "' </dev/null";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempFolder root_;
};

TEST_F(ReportCommand, ReportGivesEveryFigureAndChangesNoResultNorLog) {
  TempFolder plain;
  ASSERT_EQ(run(plain, "-j 1 --log"), 0);
  const std::string plainLog = readFile(plain / "sonbalancer-log.txt");
  const std::string plainWav = readFile(output() + "a_eq.wav");
  const std::string plainMp3 = readFile(output() + "a.mp3");
  fs::remove_all(output());

  TempFolder work;
  const std::string folder = work / "report";
  ASSERT_EQ(run(work, "-j 2 --log --report '" + folder + "'"), 0);

  EXPECT_EQ(readFile(output() + "a_eq.wav"), plainWav);
  EXPECT_EQ(readFile(output() + "a.mp3"), plainMp3);
  EXPECT_EQ(readFile(work / "sonbalancer-log.txt"), plainLog);

  const nlohmann::json report = nlohmann::json::parse(readFile(folder + "/report.json"));
  EXPECT_EQ(report["summary"]["processed"], 2);
  EXPECT_EQ(report["summary"]["skipped"], 0);
  EXPECT_EQ(report["summary"]["not_music"], 1);
  ASSERT_EQ(report["tracks"].size(), 3u);
  const nlohmann::json& a = report["tracks"][0];
  EXPECT_EQ(a["source"], music() + "/a.ogg");
  EXPECT_EQ(a["status"], "processed");
  EXPECT_EQ(a["result_wav"], output() + "a_eq.wav");
  EXPECT_EQ(a["result_mp3"], output() + "a.mp3");
  EXPECT_NEAR(a["seconds"].get<double>(), 2.0, 0.01);
  EXPECT_EQ(a["passes"], 2);
  EXPECT_LT(a["mp3_gain_db"].get<double>(), 0.0);
  // The result is louder than its source, its low band raised most.
  EXPECT_GT(a["after"]["integrated_lufs"].get<double>(), a["before"]["integrated_lufs"].get<double>());
  const nlohmann::json& change = a["band_change_db"]["left"]["low"];
  EXPECT_GT(change.get<double>(), 0.0);
  EXPECT_DOUBLE_EQ(change.get<double>(), a["after"]["bands"]["left"]["low"].get<double>() -
                                             a["before"]["bands"]["left"]["low"].get<double>());
  EXPECT_TRUE(a["engine_band_factors_db"]["left"]["low"].is_number());
  // The MP3 as decoded keeps its ceiling; its loudness is measured only toward a target.
  EXPECT_LE(a["mp3_true_peak_dbtp"].get<double>(), -1.0);
  EXPECT_TRUE(a["mp3_integrated_lufs"].is_null());
  EXPECT_EQ(a["after"]["third_octave_dbfs"].size(), 28u);
  EXPECT_NEAR(a["after"]["sample_peak_dbfs"].get<double>(), 0.0, 0.1);
  EXPECT_GE(a["after"]["true_peak_dbtp"].get<double>(), a["after"]["sample_peak_dbfs"].get<double>());
  EXPECT_EQ(report["tracks"][2]["status"], "not_music");
  EXPECT_EQ(report["tracks"][2]["reason"], "not a multimedia file");
  EXPECT_NE(readFile(folder + "/report.csv").find("/notes.txt,not_music,"), std::string::npos);
  EXPECT_NE(readFile(folder + "/report.html").find("<dt>Not music</dt><dd>1</dd>"),
            std::string::npos);

  // A rerun that finds the results up to date names them as the run that made them did.
  ASSERT_EQ(run(work, "-j 1 --skip-existing --report '" + folder + "'"), 0);
  const nlohmann::json rerun = nlohmann::json::parse(readFile(folder + "/report.json"));
  EXPECT_EQ(rerun["tracks"][0]["status"], "skipped");
  EXPECT_EQ(rerun["tracks"][0]["result_wav"], a["result_wav"]);
  EXPECT_EQ(rerun["tracks"][1]["result_mp3"], report["tracks"][1]["result_mp3"]);
  // Nothing of them was measured: no MP3 gain of 0 in the files or on the page.
  EXPECT_TRUE(rerun["tracks"][0]["mp3_gain_db"].is_null());
  EXPECT_EQ(readFile(folder + "/report.html").find("<td>0.00</td>"), std::string::npos);
}

TEST_F(ReportCommand, AnalysisWritesNoAudioAndLogsUpToTheSave) {
  TempFolder work;
  const std::string folder = work / "preview";
  ASSERT_EQ(run(work, "--analyze --log --report '" + folder + "'"), 0);

  EXPECT_FALSE(fs::exists(output()));
  const std::string log = readFile(work / "sonbalancer-log.txt");
  EXPECT_EQ(log.find("Step 5"), std::string::npos) << log;
  EXPECT_EQ(log.find("MP3"), std::string::npos) << log;
  EXPECT_NE(log.find("Step 4: Applying corrections...\n"), std::string::npos);
  const nlohmann::json report = nlohmann::json::parse(readFile(folder + "/report.json"));
  ASSERT_EQ(report["tracks"].size(), 3u);
  for (int index : {0, 1}) {
    const nlohmann::json& track = report["tracks"][index];
    EXPECT_EQ(track["status"], "analyzed");
    EXPECT_TRUE(track["result_wav"].is_null());
    EXPECT_TRUE(track["after"]["integrated_lufs"].is_number());
  }
  EXPECT_EQ(report["options"]["analyze"], true);
  EXPECT_NE(readFile(work / "errors.txt").find("sonbalancer-cli: 2 analyzed, 0 skipped, 0 failed"),
            std::string::npos);
}

}  // namespace
