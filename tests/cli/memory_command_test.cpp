// The memory a job's tracks take: within --memory, and within a real cgroup limit with several
// workers, a long track waits for room or fails alone with what it needs; the job is never
// killed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/media_files.h"
#include "tests/support/memory_cgroup.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::makeTone;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

const std::string kCommand = std::string(SONBALANCER_BINARY_DIR) + "/bin/sonbalancer-cli";
const std::vector<std::string> kWav = {"-acodec", "pcm_s16le", "-f", "wav"};
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

class MemoryOfAJob : public ::testing::Test {
 protected:
  MemoryOfAJob() { fs::create_directory(music()); }

  // Runs the command (through wrap, when given) in the work folder; the exit status, or -1
  // when a signal ended it.
  int run(const std::string& arguments, const testing_support::MemoryCgroup* cgroup = nullptr) {
    const std::string command = "'" + kCommand + "' --log --no-mp3 " + arguments;
    const std::string line = "cd '" + work_.path().string() + "' && " +
                             (cgroup ? cgroup->enclosing(command) : command) + " 2>err </dev/null";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // A WAV of 44100 Hz stereo whose data, a tone then silence, is dataBytes long.
  std::string longWav(const std::string& name, std::uint64_t dataBytes, int frequencyHz) {
    const std::string path = music() + "/" + name;
    EXPECT_TRUE(makeTone(path, kWav, 1.0, frequencyHz));
    fs::resize_file(path, 44 + dataBytes);
    return path;
  }
  std::string music() const { return root_ / "Music"; }
  std::string log() const { return readFile(work_ / "sonbalancer-log.txt"); }
  std::string standardError() const { return readFile(work_ / "err"); }

  TempFolder root_;
  TempFolder work_;
};

TEST_F(MemoryOfAJob, TrackOverTheMemoryGivenFailsAloneSayingWhatItNeeds) {
  ASSERT_TRUE(makeTone(music() + "/a.wav", kWav, 2.0));
  ASSERT_TRUE(makeTone(music() + "/b.wav", kWav, 0.5));
  // a needs about 3 × 352800 bytes, just over the MiB; b a quarter of that.
  EXPECT_EQ(run("--memory 1M '" + music() + "'"), 3) << standardError();
  EXPECT_NE(log().find("\nError: This file needs 1.1 MB of memory for its samples, 1.0 MB are "
                       "allowed ! It will not be processed.\n\nParsing "),
            std::string::npos)
      << log();
  EXPECT_NE(standardError().find("sonbalancer-cli: " + music() +
                                 "/a.wav: needs 1.1 MB of memory for its samples, 1.0 MB are allowed\n"),
            std::string::npos)
      << standardError();
  EXPECT_FALSE(fs::exists(music() + "/sonbalanced/a_eq.wav"));
  EXPECT_TRUE(fs::exists(music() + "/sonbalanced/b_eq.wav"));

  EXPECT_EQ(run("--memory 1.5X '" + music() + "'"), 2);
  EXPECT_NE(standardError().find("--memory takes a size"), std::string::npos) << standardError();
}

TEST_F(MemoryOfAJob, TwoLongTracksUnderACgroupLimitTakeTurnsAndOneTooLongFailsNeverKilled) {
  // 600 MiB allowed leave 344 MiB for the samples: one long track's 336 MiB at a time, where
  // two at once pass the limit (without the budget the kernel kills the job here).
  testing_support::MemoryCgroup cgroup(600 * kMiB);
  if (cgroup.path().empty()) GTEST_SKIP() << "no memory cgroup can be made here";
  longWav("long1.wav", 112 * kMiB, 440);
  longWav("long2.wav", 112 * kMiB, 660);
  longWav("long3.wav", 200 * kMiB, 880);

  EXPECT_EQ(run("-j 2 '" + music() + "'", &cgroup), 3) << standardError();
  for (const char* result : {"long1_eq.wav", "long2_eq.wav"}) {
    EXPECT_EQ(fs::file_size(music() + "/sonbalanced/" + result), 44 + 112 * kMiB) << result;
  }
  EXPECT_FALSE(fs::exists(music() + "/sonbalanced/long3_eq.wav"));
  EXPECT_NE(standardError().find("sonbalancer-cli: " + music() + "/long3.wav: needs 629.1 MB of "
                                 "memory for its samples, 360.7 MB are allowed\n"),
            std::string::npos)
      << standardError();
  EXPECT_NE(standardError().find("sonbalancer-cli: 2 processed, 0 skipped, 1 failed in "),
            std::string::npos)
      << standardError();
  EXPECT_NE(log().find("Error: This file needs 629.1 MB of memory for its samples, 360.7 MB are "
                       "allowed ! It will not be processed.\n\n"),
            std::string::npos)
      << log();
}

}  // namespace
