// The headless command over a library: nested folders, several workers, reruns, results
// elsewhere, path lists and shards, through the real command on real files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <chrono>
#include <map>
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

std::string quoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

// A library of short tones: files at the top and in nested album folders, a hidden folder, an
// old "sonbalanced" folder, a linked folder, and same-name sources in one folder and in two.
class Library : public ::testing::Test {
 protected:
  Library() {
    const std::vector<std::string> ogg = {"-acodec", "libvorbis"};
    const std::vector<std::string> wav = {"-acodec", "pcm_s16le", "-f", "wav"};
    for (const char* folder : {"A/sub", "A/.hidden", "A/sonbalanced", "B"}) {
      fs::create_directories(root() + "/" + folder);
    }
    EXPECT_TRUE(makeTone(root() + "/top.wav", wav, 0.5, 300));
    EXPECT_TRUE(makeTone(root() + "/A/x.ogg", ogg, 0.5, 400));
    EXPECT_TRUE(makeTone(root() + "/A/y.wav", wav, 0.5, 500));
    EXPECT_TRUE(makeTone(root() + "/A/sub/w.ogg", ogg, 0.5, 600));
    EXPECT_TRUE(makeTone(root() + "/A/.hidden/z.ogg", ogg, 0.5, 700));
    EXPECT_TRUE(makeTone(root() + "/A/sonbalanced/old.ogg", ogg, 0.5, 800));
    EXPECT_TRUE(makeTone(root() + "/B/x.ogg", ogg, 0.5, 900));
    EXPECT_TRUE(makeTone(root() + "/B/x.wav", wav, 0.5, 1000));
    fs::create_directory_symlink(root() + "/A", root() + "/link");
  }

  std::string root() const { return library_ / "Library"; }

  // Runs the command in the work folder; returns its exit status.
  int run(const std::string& arguments, const std::string& input = "") {
    const std::string line = "cd " + quoted(work_.path()) + " && " + input + quoted(kCommand) +
                             " " + arguments + " 2>" + quoted(work_ / "err") +
                             (input.empty() ? " </dev/null" : "");
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string log() const { return readFile(work_ / "sonbalancer-log.txt"); }
  std::string standardError() const { return readFile(work_ / "err"); }

  // Every file below folder with its bytes, by path relative to it.
  static std::map<std::string, std::string> filesBelow(const std::string& folder,
                                                       const std::string& ending) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      const std::string path = entry.path().string();
      if (entry.is_regular_file() && path.ends_with(ending)) {
        files[path.substr(folder.size())] = readFile(path);
      }
    }
    return files;
  }

  TempFolder library_;
  TempFolder work_;
};

TEST_F(Library, RecursiveRunGivesTheSameResultsAndLogWithOneWorkerOrTwo) {
  ASSERT_EQ(run("-r -j 1 --log " + quoted(root())), 0) << standardError();
  const std::string oneWorkerLog = log();
  const auto oneWorker = filesBelow(root(), "_eq.wav");
  const auto oneWorkerMp3 = filesBelow(root(), ".mp3");
  for (const auto& entry : fs::recursive_directory_iterator(root())) {
    if (entry.path().filename() == "sonbalanced" && !entry.is_symlink()) {
      for (const auto& result : fs::directory_iterator(entry.path())) {
        if (result.path().extension() != ".ogg") fs::remove(result.path());
      }
    }
  }

  ASSERT_EQ(run("-r -j 2 --log " + quoted(root())), 0) << standardError();

  EXPECT_EQ(log(), oneWorkerLog);
  EXPECT_EQ(filesBelow(root(), "_eq.wav"), oneWorker);
  EXPECT_EQ(filesBelow(root(), ".mp3"), oneWorkerMp3);
  std::vector<std::string> results;
  for (const auto& [path, bytes] : oneWorker) results.push_back(path);
  EXPECT_EQ(results, (std::vector<std::string>{
                         "/A/sonbalanced/x_eq.wav", "/A/sonbalanced/y_eq.wav",
                         "/A/sub/sonbalanced/w_eq.wav", "/B/sonbalanced/x (wav)_eq.wav",
                         "/B/sonbalanced/x_eq.wav", "/sonbalanced/top_eq.wav"}));
  // Depth first in name order, a folder's own files before its sub-folders.
  std::vector<std::size_t> order;
  for (const char* source : {"/top.wav.", "/A/x.ogg.", "/A/y.wav.", "/A/sub/w.ogg.", "/B/x.ogg.",
                             "/B/x.wav."}) {
    order.push_back(oneWorkerLog.find("Parsing " + root() + source));
  }
  EXPECT_NE(order.back(), std::string::npos);
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << oneWorkerLog;
}

TEST_F(Library, RerunWithSkipExistingDoesOnlyWhatIsNotUpToDate) {
  ASSERT_EQ(run("-r --no-mp3 " + quoted(root())), 0) << standardError();
  const auto firstTime = fs::last_write_time(root() + "/A/sonbalanced/x_eq.wav");
  fs::last_write_time(root() + "/B/x.ogg", fs::file_time_type::clock::now() + std::chrono::hours(1));

  ASSERT_EQ(run("-r --no-mp3 --skip-existing --log " + quoted(root())), 0) << standardError();

  EXPECT_EQ(fs::last_write_time(root() + "/A/sonbalanced/x_eq.wav"), firstTime);
  const std::string text = log();
  EXPECT_NE(text.find("A/x.ogg...\nType: ogg - Results newer than the source - Skipped\n\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("B/x.ogg...\nType: ogg - Source changed since its results were made - "
                      "Processed again\nStep 1: "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("B/sonbalanced/x_eq.wav\n\n"), std::string::npos) << text;
  EXPECT_NE(standardError().find("1 processed, 5 skipped, 0 failed"), std::string::npos)
      << standardError();
}

TEST_F(Library, OutputFolderMirrorsTheTreeAndMp3OnlyKeepsNoWav) {
  const std::string elsewhere = work_ / "out/balanced";
  fs::remove(root() + "/top.wav");  // so that the mirror's top folder is made for a deeper one
  ASSERT_EQ(run("-r --mp3-only --output " + quoted(elsewhere) + " " + quoted(root()) + " " +
                quoted(root() + "/A/x.ogg") + " " + quoted(root() + "/A/.hidden/z.ogg")),
            0)
      << standardError();

  EXPECT_TRUE(filesBelow(elsewhere, ".wav").empty());
  std::vector<std::string> mp3;
  for (const auto& [path, bytes] : filesBelow(elsewhere, ".mp3")) mp3.push_back(path);
  // A file given on its own lands at the top; A/x.ogg, met in the folder before, is done once.
  EXPECT_EQ(mp3, (std::vector<std::string>{"/A/sub/w.mp3", "/A/x.mp3", "/A/y.mp3", "/B/x (wav).mp3",
                                           "/B/x.mp3", "/z.mp3"}));
  EXPECT_FALSE(fs::exists(root() + "/sonbalanced"));
  EXPECT_FALSE(fs::exists(root() + "/B/sonbalanced"));
}

TEST_F(Library, AnOutputFolderNamedThroughALinkIsWhereItLeads) {
  fs::create_directory(work_ / "real");
  fs::create_directory_symlink(work_ / "real", work_ / "linked");
  ASSERT_EQ(run("-r --no-mp3 --output linked " + quoted(root() + "/A")), 0) << standardError();
  std::vector<std::string> wav;
  for (const auto& [path, bytes] : filesBelow(work_ / "real", ".wav")) wav.push_back(path);
  EXPECT_EQ(wav, (std::vector<std::string>{"/sub/w_eq.wav", "/x_eq.wav", "/y_eq.wav"}));
}

// More albums than files may be open at once by default: each output folder's lock is held to
// the end of the job.
TEST_F(Library, AShelfOfMoreAlbumsThanTheSoftOpenFileLimitIsDoneWhole) {
  const std::string shelf = library_ / "Shelf";
  for (int album = 0; album < 40; ++album) {
    const std::string folder = shelf + "/" + std::to_string(album);
    fs::create_directories(folder);
    fs::copy_file(root() + "/top.wav", folder + "/t.wav");
  }
  ASSERT_EQ(run("-r -j 1 --no-mp3 " + quoted(shelf), "ulimit -Sn 32 && "), 0) << standardError();
  EXPECT_EQ(filesBelow(shelf, "_eq.wav").size(), 40u);
}

TEST_F(Library, PathListsAndShardsCoverTheListOnce) {
  writeFile(work_ / "list", root() + "/A/x.ogg\n" + root() + "/B\n");
  ASSERT_EQ(run("--no-mp3 --files-from list " + quoted(root() + "/top.wav")), 0) << standardError();
  EXPECT_NE(standardError().find("4 processed, 0 skipped"), std::string::npos) << standardError();

  fs::remove_all(root() + "/B/sonbalanced");
  const std::string nulList = root() + "/B/x.ogg" + std::string(1, '\0') + root() + "/A/y.wav" +
                              std::string(1, '\0') + root() + "/B/x.wav";
  writeFile(work_ / "nul", nulList);
  // B holds more bytes than A, so it falls to the first shard, whole; A to the second.
  ASSERT_EQ(run("--no-mp3 --log -0 --files-from - --shard 2/2", "cat nul | "), 0)
      << standardError();
  EXPECT_EQ(log().find("Parsing " + root() + "/B/"), std::string::npos) << log();
  EXPECT_TRUE(fs::exists(root() + "/A/sonbalanced/y_eq.wav"));
  ASSERT_EQ(run("--no-mp3 -0 --files-from - --shard 1/2", "cat nul | "), 0) << standardError();
  EXPECT_TRUE(fs::exists(root() + "/B/sonbalanced/x_eq.wav"));
  EXPECT_TRUE(fs::exists(root() + "/B/sonbalanced/x (wav)_eq.wav"));
  // Two folders for three shards: the third has nothing to do, which is no failure.
  ASSERT_EQ(run("--no-mp3 -0 --files-from - --shard 3/3", "cat nul | "), 0) << standardError();
  EXPECT_NE(standardError().find("no output folder falls to this shard"), std::string::npos)
      << standardError();
}

}  // namespace
