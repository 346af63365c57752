// What a job may take as its sources and where it writes, through the real command on real
// files: results never land on a source, every listed file is done once, and shards started at
// the same time share no output folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "batch/result_names.h"
#include "platform/locks.h"
#include "tests/support/command_line.h"
#include "tests/support/media_files.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_patterns.h"

namespace fs = std::filesystem;
using testing_support::filesBelow;
using testing_support::makeTone;
using testing_support::outputOf;
using testing_support::readFile;
using testing_support::runInShell;
using testing_support::RunningCommand;
using testing_support::ShellRun;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

const std::vector<std::string> kPcmWav = {"-acodec", "pcm_s16le", "-f", "wav"};

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(SourceGuard, OutputAmongTheSourcesIsRefusedBeforeAnythingIsWritten) {
  TempFolder root;
  const std::string src = root / "src";
  fs::create_directories(src + "/sub");
  // Two different songs of one name, one folder apart.
  ASSERT_TRUE(makeTone(src + "/a.mp3", {}, 0.5, 300));
  ASSERT_TRUE(makeTone(src + "/sub/a.mp3", {}, 0.5, 600));
  fs::create_directory_symlink(src, root / "srclink");
  const auto before = filesBelow(root.path());

  const struct {
    std::string arguments;
    std::string why;
  } cases[] = {
      {"--output src src", "--output " + src + " is the PATH " + src},
      {"-r --output src/sub src", "--output " + src + "/sub lies inside the PATH " + src},
      // A rerun would take the earlier results for new sources, and so on.
      {"-r --output src/out src", "--output " + src + "/out lies inside the PATH " + src},
      {"-r --output src/out src", "--output " + src + "/out lies inside the PATH " + src},
      {"-r --output src/out src", "--output " + src + "/out lies inside the PATH " + src},
      // Another name of the same folder.
      {"--output srclink/sub/.. src", "--output " + root / "srclink/sub/.. is the PATH " + src},
      {"--output src src/sub/a.mp3", "--output " + src + " holds the PATH " + src + "/sub/a.mp3"},
  };
  for (const auto& [arguments, why] : cases) {
    const ShellRun run = runInShell(root.path(), "\"$SONBALANCER\" " + arguments);
    EXPECT_EQ(run.exitStatus, 2) << arguments;
    EXPECT_TRUE(run.standardError.starts_with("sonbalancer-cli: " + why +
                                              ": results must never land among their sources\n"))
        << run.standardError;
  }
  EXPECT_EQ(filesBelow(root.path()), before);
  EXPECT_FALSE(fs::exists(src + "/out"));
}

TEST(SourceGuard, ResultIsNeverNamedAfterAListedSource) {
  TempFolder root;
  const std::string music = root / "music";
  fs::create_directories(music + "/sonbalanced");
  ASSERT_TRUE(makeTone(music + "/a.wav", kPcmWav, 0.5, 300));
  // A source whose name is a.wav's MP3 result, listed after it: not read yet when a.wav is done.
  ASSERT_TRUE(makeTone(music + "/sonbalanced/a.mp3", {}, 0.5, 900));
  const std::string song = readFile(music + "/sonbalanced/a.mp3");

  const ShellRun run =
      runInShell(root.path(), "\"$SONBALANCER\" --log music/a.wav music/sonbalanced/a.mp3");

  ASSERT_EQ(run.exitStatus, 0) << run.standardError;
  EXPECT_EQ(readFile(music + "/sonbalanced/a.mp3"), song);
  for (const char* result : {"/sonbalanced/a (wav)_eq.wav", "/sonbalanced/a (wav).mp3",
                             "/sonbalanced/sonbalanced/a_eq.wav", "/sonbalanced/sonbalanced/a.mp3"}) {
    EXPECT_TRUE(fs::is_regular_file(music + result)) << result;
  }
  EXPECT_NE(readFile(root / "sonbalancer-log.txt")
                .find("A source file of this job has the result's name: results named a (wav)_eq.wav\n"),
            std::string::npos)
      << readFile(root / "sonbalancer-log.txt");
}

TEST(ListedPaths, EachFileIsDoneOnceAndAMissingOneFailsAlone) {
  TempFolder root;
  const std::string music = root / "music";
  fs::create_directory(music);
  ASSERT_TRUE(makeTone(music + "/a.wav", kPcmWav, 0.5, 300));
  fs::create_symlink(music + "/a.wav", root / "link.wav");
  // A hard link is a name of its own, in a folder of its own: it gets its own results.
  fs::create_directory(root / "other");
  fs::create_hard_link(music + "/a.wav", root / "other/b.wav");
  writeFile(root / "list", music +
                               "/a.wav\nmusic/a.wav\nlink.wav\nmusic/missing.mp3\nmusic/a.wav\n"
                               "other/b.wav\n");

  const ShellRun run =
      runInShell(root.path(), "\"$SONBALANCER\" --no-mp3 --log --files-from list music music/a.wav");

  EXPECT_EQ(run.exitStatus, 3) << run.standardError;
  // Below the PATH "music", named by it as typed.
  EXPECT_NE(run.standardError.find("sonbalancer-cli: music/missing.mp3: no such file or folder\n"),
            std::string::npos)
      << run.standardError;
  EXPECT_NE(run.standardError.find("sonbalancer-cli: 2 processed, 0 skipped, 1 failed"),
            std::string::npos)
      << run.standardError;
  const std::string log = readFile(root / "sonbalancer-log.txt");
  EXPECT_EQ(occurrences(log, "Parsing "), 3u) << log;
  EXPECT_NE(log.find("missing.mp3...\nNo such file or folder - Not processed\n\n"), std::string::npos)
      << log;
  // The one result and the record of what it was made from.
  EXPECT_EQ(filesBelow(music + "/sonbalanced").size(), 2u);
  EXPECT_TRUE(fs::is_regular_file(music + "/sonbalanced/a_eq.wav"));
  EXPECT_TRUE(fs::is_regular_file(root / "other/sonbalanced/b_eq.wav"));
}

// Albums of tracks at different levels and lengths, so that a gain measured over part of an
// album differs from one over all of it.
class ShardedLibrary : public ::testing::Test {
 protected:
  ShardedLibrary() {
    const std::vector<std::pair<std::string, int>> albums = {
        {"A", 4}, {"B", 3}, {"C", 3}, {"D/E", 2}, {"F", 2}};
    int made = 0;
    for (const auto& [album, tracks] : albums) {
      fs::create_directories(library() + "/" + album);
      for (int track = 0; track < tracks; ++track, ++made) {
        std::vector<std::string> level = {"-af", "volume=" + std::to_string(0.15 * (1 + made % 5))};
        level.insert(level.end(), kPcmWav.begin(), kPcmWav.end());
        const std::string name = library() + "/" + album + "/t" + std::to_string(track);
        EXPECT_TRUE(makeTone(name + ".wav", level, 1.0 + 0.25 * (made % 4), 200 + 90 * made));
        albumTracks_[album].push_back(name);
      }
    }
  }

  std::string library() const { return root_ / "lib"; }

  TempFolder root_;
  std::map<std::string, std::vector<std::string>> albumTracks_;
};

TEST_F(ShardedLibrary, FourShardsAtOnceEachTakeWholeAlbums) {
  const ShellRun run = runInShell(
      root_.path(),
      "printf '1\\n2\\n3\\n4\\n' | xargs -P 4 -I{} sh -c "
      "'\"$SONBALANCER\" -r -j 1 --replaygain --shard {}/4 lib 2>err{}'");
  ASSERT_EQ(run.exitStatus, 0) << run.standardError << readFile(root_ / "err1");

  int processed = 0;
  for (int shard = 1; shard <= 4; ++shard) {
    const std::string errors = readFile(root_ / ("err" + std::to_string(shard)));
    const std::vector<std::string> found = testing_support::firstMatch(
        errors, "sonbalancer-cli: ([0-9]+) processed, 0 skipped, 0 failed");
    ASSERT_FALSE(found.empty()) << errors;
    processed += std::stoi(found[1]);
    EXPECT_TRUE(errors.ends_with("DONE !\n")) << errors;
  }
  EXPECT_EQ(processed, 14);
  for (const auto& [album, tracks] : albumTracks_) {
    std::set<std::string> expected;
    std::set<std::string> albumGains;
    for (const std::string& track : tracks) {
      const std::string name = fs::path(track).filename().string();
      expected.insert(name + "_eq.wav");
      expected.insert(name + ".mp3");
      const std::string mp3 = library() + "/" + album + "/sonbalanced/" + name + ".mp3";
      albumGains.insert(outputOf({"ffprobe", "-v", "error", "-show_entries",
                                  "format_tags=REPLAYGAIN_ALBUM_GAIN", "-of",
                                  "default=nw=1:nk=1", mp3}));
    }
    expected.insert(batch::kResultManifestName);
    std::set<std::string> results;
    for (const auto& [path, bytes] : filesBelow(library() + "/" + album + "/sonbalanced")) {
      results.insert(path);
    }
    EXPECT_EQ(results, expected) << album;
    ASSERT_EQ(albumGains.size(), 1u) << album;
    EXPECT_TRUE(albumGains.begin()->ends_with(" dB\n")) << album << ": " << *albumGains.begin();
  }
}

TEST(WaitBusy, HeldFolderIsWaitedForUntilReleasedOrAStopIsAsked) {
  TempFolder root;
  const std::string music = root / "music";
  fs::create_directories(music + "/sonbalanced");
  ASSERT_TRUE(makeTone(music + "/a.wav", kPcmWav, 0.5, 300));
  // Started once its log has its banner: by then the job meets the folder.
  auto startedAndWaiting = [&](RunningCommand& job) {
    for (int i = 0; i < 300 && readFile(root / "sonbalancer-log.txt").empty(); ++i) ::usleep(100'000);
    ::usleep(500'000);
    return job.running();
  };

  platform::FolderLock otherJob;
  ASSERT_EQ(otherJob.acquire(music + "/sonbalanced"), platform::FolderLock::Outcome::Held);
  {
    RunningCommand job(root.path(), {"--no-mp3", "--log", "--wait-busy", "30", "music"});
    EXPECT_TRUE(startedAndWaiting(job)) << job.standardError();
    EXPECT_FALSE(fs::exists(music + "/sonbalanced/a_eq.wav"));
    otherJob.release();
    EXPECT_EQ(job.wait(), 0) << job.standardError();
    EXPECT_TRUE(fs::is_regular_file(music + "/sonbalanced/a_eq.wav"));
  }
  fs::remove(root / "sonbalancer-log.txt");
  fs::remove(music + "/sonbalanced/a_eq.wav");
  ASSERT_EQ(otherJob.acquire(music + "/sonbalanced"), platform::FolderLock::Outcome::Held);
  {
    RunningCommand job(root.path(), {"--no-mp3", "--log", "--wait-busy", "600", "music"});
    EXPECT_TRUE(startedAndWaiting(job)) << job.standardError();
    ::kill(job.pid(), SIGTERM);
    EXPECT_EQ(job.wait(), 143);
    EXPECT_EQ(job.standardError().find("in use by another job"), std::string::npos)
        << job.standardError();
    EXPECT_TRUE(job.standardError().ends_with("STOPPED\n")) << job.standardError();
    EXPECT_FALSE(fs::exists(music + "/sonbalanced/a_eq.wav"));
  }
}

}  // namespace
