#include "batch/job_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "batch/native_path.h"
#include "tests/batch/fake_window.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::FakeWindow;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::WorkingFolder;
using testing_support::writeFile;

namespace {

class JobSetup : public ::testing::Test {
 protected:
  JobSetup() : work_(workFolder_.path()) {
    fs::create_directory(music());
    writeFile(music() + "/a.mp3", "x");
    writeFile(music() + "/b.txt", "x");
    writeFile(music() + "/.hidden", "x");
    fs::create_directory(music() + "/x");
    writeFile(music() + "/x/inside.mp3", "x");
  }

  std::string music() const { return musicRoot_ / "Music"; }
  std::string logPath() const { return workFolder_ / batch::kProcessLogName; }

  std::vector<std::string> listed() const {
    std::vector<std::string> names;
    for (const wxString& entry : job_.fileList) names.push_back(entry.utf8_string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder workFolder_;
  TempFolder musicRoot_;
  WorkingFolder work_;
  batch::JobState job_;
  FakeWindow window_;
};

TEST_F(JobSetup, FolderJobListsPlainVisibleFilesAndCreatesOutputFolder) {
  ASSERT_EQ(batch::setUpJob(job_, window_, batch::JobMode::Folder, music()), 0);

  EXPECT_EQ(listed(), (std::vector<std::string>{music() + "/a.mp3", music() + "/b.txt"}));
  EXPECT_EQ(job_.fileCount, 2u);
  EXPECT_TRUE(fs::is_directory(music() + "/sonbalanced"));
  EXPECT_EQ(job_.track.outputFolderPath, music() + "/sonbalanced/");
  EXPECT_TRUE(job_.running);
  EXPECT_FALSE(job_.mediaSeen);
  EXPECT_FALSE(job_.engineReached);
  EXPECT_EQ(job_.currentIndex, 0u);
  EXPECT_TRUE(job_.mp3Requested);
  EXPECT_LT(job_.track.sampleSpaceLimit, UINT64_MAX) << "bounded by the machine's memory";
  EXPECT_EQ(window_.events,
            (std::vector<std::string>{"stateText RUNNING", "startTimer 150", "fileGauge 0"}));
  EXPECT_FALSE(fs::exists(logPath()));
}

TEST_F(JobSetup, SecondFolderJobNeitherListsNorRecreatesOutputFolder) {
  ASSERT_EQ(batch::setUpJob(job_, window_, batch::JobMode::Folder, music()), 0);
  writeFile(music() + "/sonbalanced/a_eq.wav", "result");
  job_.running = false;
  job_.fileList.Clear();

  ASSERT_EQ(batch::setUpJob(job_, window_, batch::JobMode::Folder, music()), 0);
  EXPECT_EQ(listed(), (std::vector<std::string>{music() + "/a.mp3", music() + "/b.txt"}));
  EXPECT_EQ(readFile(music() + "/sonbalanced/a_eq.wav"), "result");
}

TEST_F(JobSetup, SingleFileJobWritesIntoFolderBesideTheFile) {
  window_.mp3Box = false;
  ASSERT_EQ(batch::setUpJob(job_, window_, batch::JobMode::SingleFile, music() + "/a.mp3"), 0);

  EXPECT_EQ(listed(), (std::vector<std::string>{music() + "/a.mp3"}));
  EXPECT_EQ(job_.fileCount, 1u);
  EXPECT_EQ(job_.track.outputFolderPath, music() + "/sonbalanced/");
  EXPECT_TRUE(fs::is_directory(music() + "/sonbalanced"));
  EXPECT_FALSE(job_.mp3Requested);
}

TEST_F(JobSetup, BannerBytesForEachMode) {
  window_.logBox = true;
  ASSERT_EQ(batch::setUpJob(job_, window_, batch::JobMode::Folder, music()), 0);
  job_.log.close();
  EXPECT_EQ(readFile(logPath()),
            "SonBalancer V1.70 - PROCESS LOG FILE\n"
            "------------------------------------\n"
            "MODE: MULTIPLE FILE (FOLDER) PROCESS\n\n"
            "SOURCE PATH: " +
                music() + "\n\n");

  job_.running = false;
  ASSERT_EQ(batch::setUpJob(job_, window_, batch::JobMode::SingleFile, music() + "/a.mp3"), 0);
  job_.log.close();
  EXPECT_EQ(readFile(logPath()),
            "SonBalancer V1.70 - PROCESS LOG FILE\n"
            "------------------------------------\n"
            "MODE: SINGLE FILE PROCESS\n\n"
            "SOURCE PATH: " +
                music() + "/a.mp3\n\n");
}

TEST_F(JobSetup, EmptyFolderStartsNothingAndLeavesBannerOnlyLog) {
  const std::string empty = musicRoot_ / "Empty";
  fs::create_directory(empty);
  writeFile(empty + "/.only-hidden", "x");
  window_.logBox = true;

  EXPECT_FALSE(batch::startJob(job_, window_, batch::JobMode::Folder, empty));

  EXPECT_EQ(window_.beeps, 1);
  EXPECT_EQ(window_.events, (std::vector<std::string>{"beep 750 300"}));
  EXPECT_FALSE(fs::exists(empty + "/sonbalanced"));
  EXPECT_FALSE(job_.running);
  EXPECT_FALSE(job_.log.isOn());
  EXPECT_EQ(job_.chosenPath, wxString(empty));
  EXPECT_EQ(readFile(logPath()),
            "SonBalancer V1.70 - PROCESS LOG FILE\n"
            "------------------------------------\n"
            "MODE: MULTIPLE FILE (FOLDER) PROCESS\n\n"
            "SOURCE PATH: " +
                empty + "\n\n");
  EXPECT_EQ(batch::setUpJob(job_, window_, batch::JobMode::Folder, empty), 1);
}

TEST_F(JobSetup, UncheckedLogBoxLeavesAnExistingLogUntouched) {
  writeFile(logPath(), "previous job");
  ASSERT_EQ(batch::setUpJob(job_, window_, batch::JobMode::Folder, music()), 0);
  EXPECT_FALSE(job_.log.isOn());
  EXPECT_EQ(readFile(logPath()), "previous job");
}

TEST_F(JobSetup, LogThatCannotBeCreatedLetsTheJobRunWithoutIt) {
  fs::create_directory(logPath());  // a folder in the way of the log file
  window_.logBox = true;
  ASSERT_EQ(batch::setUpJob(job_, window_, batch::JobMode::Folder, music()), 0);
  EXPECT_FALSE(job_.log.isOn());
  EXPECT_TRUE(job_.running);
}

TEST_F(JobSetup, FolderPathEndingInSeparatorDoublesIt) {
  ASSERT_EQ(batch::setUpJob(job_, window_, batch::JobMode::Folder, music() + "/"), 0);
  EXPECT_EQ(job_.track.outputFolderPath, music() + "//sonbalanced/");
  EXPECT_TRUE(fs::is_directory(music() + "/sonbalanced"));
  EXPECT_EQ(job_.fileCount, 2u);
}

TEST_F(JobSetup, ProcessCommandIsRefusedSilentlyWhileAJobRuns) {
  ASSERT_TRUE(batch::startJob(job_, window_, batch::JobMode::Folder, music()));
  window_.events.clear();
  const std::string otherFile = music() + "/b.txt";

  EXPECT_FALSE(batch::startJob(job_, window_, batch::JobMode::SingleFile, otherFile));
  EXPECT_TRUE(window_.events.empty());
  EXPECT_EQ(job_.chosenPath, wxString(music()));
  EXPECT_EQ(job_.fileCount, 2u);
}

}  // namespace

namespace {

TEST(ByteExactFileNames, NameThatIsNotUtf8IsListedAndWrittenUnchanged) {
  batch::useByteExactFileNames();
  TempFolder root;
  const std::string latin1Name = "Chanson \xe9l\xe9gante.mp3";  // Latin-1, not UTF-8
  writeFile(root / latin1Name, "x");
  TempFolder work;
  WorkingFolder inWork(work.path());
  batch::JobState job;
  FakeWindow window;
  window.logBox = true;

  ASSERT_EQ(
      batch::setUpJob(job, window, batch::JobMode::Folder, batch::fromNativePath(root.path())), 0);
  job.log.close();

  ASSERT_EQ(job.fileCount, 1u);
  const std::string listed = batch::toNativePath(job.fileList[0]);
  EXPECT_EQ(listed, root / latin1Name);
  EXPECT_TRUE(fs::exists(listed));
  EXPECT_EQ(readFile(work / batch::kProcessLogName).substr(0, 4), "SonB");
}

}  // namespace
