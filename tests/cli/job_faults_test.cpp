// Faults met by the headless command at the edges of a job: a stop during the album tags, a
// disk that fills up, sources with no audio frames and sources cut short, through the real
// command on real files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "batch/process_log_file.h"
#include "tests/support/command_line.h"
#include "tests/support/media_files.h"
#include "tests/support/other_user.h"
#include "tests/support/small_file_system.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_patterns.h"

namespace fs = std::filesystem;
using testing_support::RunningCommand;
using testing_support::makeTone;
using testing_support::readFile;
using testing_support::SmallFileSystem;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

const std::vector<std::string> kWav = {"-acodec", "pcm_s16le", "-f", "wav"};
constexpr std::size_t kAlbumTracks = 6;

// An album of short tracks, enough of them for its tags to take a while.
void makeAlbum(const std::string& folder) {
  fs::create_directories(folder);
  for (std::size_t track = 0; track < kAlbumTracks; ++track) {
    char name[16];
    std::snprintf(name, sizeof name, "/t%02zu.wav", track);
    ASSERT_TRUE(makeTone(folder + name, kWav, 0.2, static_cast<int>(200 + 40 * track)));
  }
}

// Waits until every track of the album has its MP3 and then one of them is replaced under its
// name: the album tags are being written. False when the command ends first.
bool albumTagsBegin(const std::string& results, const RunningCommand& job) {
  // The album's tags are written into the MP3s in place: each changes once all are there.
  std::map<std::string, std::pair<ino_t, std::int64_t>> mp3s;
  while (job.running()) {
    std::error_code notYet;
    for (const auto& entry : fs::directory_iterator(results, notYet)) {
      if (entry.path().extension() != ".mp3") continue;
      struct stat info {};
      if (::stat(entry.path().c_str(), &info) != 0) continue;
      const std::pair<ino_t, std::int64_t> state = {
          info.st_ino, info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec};
      const auto [known, added] = mp3s.try_emplace(entry.path().string(), state);
      if (!added && known->second != state && mp3s.size() == kAlbumTracks) return true;
      known->second = state;
    }
    ::usleep(2000);
  }
  return false;
}

bool holdsTemporaries(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().string().ends_with(".part")) return true;
  }
  return false;
}

std::size_t albumTracksTagged(const std::string& log) {
  const std::vector<std::string> found =
      testing_support::firstMatch(log, "written into ([0-9]+) of 6 MP3 files\n");
  return found.empty() ? 999 : std::stoul(found[1]);
}

const std::string kStopLine =
    "\nJOB STOPPED (SIGTERM): the files not yet processed were left as they were.\n";

// Written in place, the album's tags take a few milliseconds, so the signal may come once they
// are done; either way every MP3 stays whole.
TEST(JobFaults, SigtermWhileTheAlbumIsTaggedStopsTheJobWithWholeMp3s) {
  TempFolder root;
  makeAlbum(root / "album");
  TempFolder work;
  RunningCommand job(work.path(), {"-j", "2", "--log", "--replaygain", root / "album"});
  // The tags may all be written between two looks; the job then ends whole, as checked below.
  if (albumTagsBegin(root / "album/sonbalanced", job)) ::kill(job.pid(), SIGTERM);

  const int status = job.wait();
  const std::string log = readFile(work / batch::kProcessLogName);
  if (status == 143) {
    EXPECT_TRUE(job.standardError().ends_with("\nSTOPPED\n")) << job.standardError();
    EXPECT_TRUE(log.ends_with(" MP3 files\n\n" + kStopLine)) << log;
  } else {
    EXPECT_EQ(status, 0) << job.standardError();
    EXPECT_EQ(albumTracksTagged(log), kAlbumTracks);
  }
  EXPECT_EQ(log.find("could not be written"), std::string::npos);
  for (const auto& entry : fs::directory_iterator(root / "album/sonbalanced")) {
    if (entry.path().extension() != ".mp3") continue;
    EXPECT_EQ(platform::runChildAndWait({"ffmpeg", "-v", "quiet", "-xerror", "-i", entry.path(),
                                         "-f", "null", "-"})
                  .exitStatus,
              0)
        << entry.path();
  }
  EXPECT_FALSE(holdsTemporaries(root / "album/sonbalanced"));

  // What the stop left, a later job makes whole: every MP3 carries the album's tags.
  RunningCommand again(work.path(), {"--skip-existing", "--replaygain", root / "album"});
  EXPECT_EQ(again.wait(), 0) << again.standardError();
  for (const auto& entry : fs::directory_iterator(root / "album/sonbalanced")) {
    if (entry.path().extension() != ".mp3") continue;
    EXPECT_NE(readFile(entry.path()).find("REPLAYGAIN_ALBUM_GAIN"), std::string::npos)
        << entry.path();
  }
}

// The album's tags take the room their MP3s' tags left for them: a full disk takes none of them.
TEST(JobFaults, AlbumTagsOnAFullDiskAreWrittenInPlace) {
  SmallFileSystem disk(4 << 20);
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  makeAlbum(disk / "album");
  TempFolder work;
  RunningCommand job(work.path(), {"-j", "2", "--log", "--replaygain", disk / "album"});
  if (albumTagsBegin(disk / "album/sonbalanced", job)) disk.fill();

  EXPECT_EQ(job.wait(), 0) << job.standardError();
  EXPECT_EQ(albumTracksTagged(readFile(work / batch::kProcessLogName)), kAlbumTracks);
  for (const auto& entry : fs::directory_iterator(disk / "album/sonbalanced")) {
    if (entry.path().extension() != ".mp3") continue;
    EXPECT_NE(readFile(entry.path()).find("REPLAYGAIN_ALBUM_GAIN"), std::string::npos) << entry.path();
  }
  EXPECT_FALSE(holdsTemporaries(disk / "album/sonbalanced"));
}

// An MP3 that another program replaced before the album's tags came keeps what it holds; the
// album's other MP3s get the tags and the job ends with the fault told.
TEST(JobFaults, AlbumTagsThatCannotBeWrittenAreToldAndTheRestTagged) {
  TempFolder root;
  fs::create_directories(root / "album");
  ASSERT_TRUE(makeTone(root / "album/a.wav", kWav, 0.2, 300));
  for (const char* name : {"/b.wav", "/c.wav"}) {
    ASSERT_TRUE(makeTone(root / "album" + name, kWav, 4.0, 500));
  }
  TempFolder work;
  RunningCommand job(work.path(), {"-j", "1", "--log", "--replaygain", root / "album"});
  const std::string replaced = root / "album/sonbalanced/a.mp3";
  while (job.running() && !fs::exists(replaced)) ::usleep(2000);
  writeFile(replaced, "no MP3 any more");

  EXPECT_EQ(job.wait(), 3);
  const std::string log = readFile(work / batch::kProcessLogName);
  EXPECT_NE(log.find("Album ReplayGain could not be written into " + replaced +
                     " ! It keeps its track tags.\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("written into 2 of 3 MP3 files\n"), std::string::npos) << log;
  EXPECT_NE(job.standardError().find(replaced + ": its album ReplayGain tags could not be written"),
            std::string::npos)
      << job.standardError();
  EXPECT_EQ(readFile(replaced), "no MP3 any more");
  for (const char* name : {"/b.mp3", "/c.mp3"}) {
    EXPECT_NE(readFile(root / "album/sonbalanced" + name).find("REPLAYGAIN_ALBUM_GAIN"),
              std::string::npos);
  }
}

TEST(JobFaults, ReportAndLogOnAFullDiskFailTheJobAndLeaveNoStaleReport) {
  SmallFileSystem disk(256 << 10);
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  TempFolder music;
  ASSERT_TRUE(makeTone(music / "b.wav", kWav));
  for (const char* name : {"report.json", "report.csv", "report.html"}) {
    writeFile(disk / name, "an earlier job's report");
  }
  disk.fill();
  RunningCommand job(disk.path(), {"--log", "--no-mp3", "--report", disk.path(), music / "b.wav"});

  EXPECT_EQ(job.wait(), 3);
  const std::string errors = job.standardError();
  EXPECT_NE(errors.find("\nsonbalancer-cli: the report could not be written into " + disk.path() + "\n"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("\nsonbalancer-cli: the process log sonbalancer-log.txt could not be "
                        "written whole: it ends before the job did\n"),
            std::string::npos)
      << errors;
  for (const char* name : {"report.json", "report.csv", "report.html"}) {
    EXPECT_FALSE(fs::exists(disk / name)) << name;
  }
  EXPECT_TRUE(fs::is_regular_file(music / "sonbalanced/b_eq.wav"));
}

// The track's tags are written into its MP3 in place: no copy of it needs room beside it.
TEST(JobFaults, TrackTagsNeedNoRoomForACopyOfTheMp3) {
  TempFolder measure;
  ASSERT_TRUE(makeTone(measure / "b.wav", kWav));
  TempFolder work;
  RunningCommand sized(work.path(), {"--replaygain", measure / "b.wav"});
  ASSERT_EQ(sized.wait(), 0) << sized.standardError();
  // Room for the source, its WAV result and its MP3, but not for a second MP3.
  const auto pages = [](std::uintmax_t bytes) { return (bytes + 4095) / 4096 * 4096; };
  const std::uintmax_t mp3 = fs::file_size(measure / "sonbalanced/b.mp3");
  ASSERT_GT(mp3, 4096u);
  SmallFileSystem disk(pages(fs::file_size(measure / "b.wav")) +
                       pages(fs::file_size(measure / "sonbalanced/b_eq.wav")) + pages(mp3) + 4096);
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  fs::copy_file(measure / "b.wav", disk / "b.wav");

  RunningCommand job(work.path(), {"--log", "--replaygain", disk / "b.wav"});
  EXPECT_EQ(job.wait(), 0) << job.standardError();
  EXPECT_NE(readFile(disk / "sonbalanced/b.mp3").find("REPLAYGAIN_TRACK_GAIN"), std::string::npos);
  EXPECT_FALSE(holdsTemporaries(disk / "sonbalanced"));
}

// Tags that do not fit on the disk leave the WAV as it was saved, without them, and its record
// says so: the next run with room tags it.
TEST(JobFaults, WavTagsOnAFullDiskLeaveTheWavWholeForTheNextRunToTag) {
  TempFolder music;
  const std::string comment(120000, 'c');
  ASSERT_TRUE(makeTone(music / "b.flac", {"-metadata", "COMMENT=" + comment}));
  TempFolder work;
  RunningCommand untagged(work.path(), {"--no-mp3", "--output", work.path(), music / "b.flac"});
  ASSERT_EQ(untagged.wait(), 0) << untagged.standardError();
  const std::string untaggedWav = readFile(work / "b_eq.wav");
  const std::size_t fillerBytes = 1 << 20;
  // Room for the converted source (which holds the comment too) and the result, not for the
  // result's tags.
  SmallFileSystem disk(2 * untaggedWav.size() + comment.size() + fillerBytes + 16384);
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  writeFile(disk / "filler", std::string(fillerBytes, '\0'));
  const std::vector<std::string> arguments = {"--log",           "--no-mp3", "--wav-tags",
                                              "--skip-existing", "--output", disk.path(),
                                              music / "b.flac"};

  RunningCommand full(work.path(), arguments);
  EXPECT_EQ(full.wait(), 0) << full.standardError();
  EXPECT_NE(readFile(work / batch::kProcessLogName)
                .find("The source's tags and cover could not be carried into the WAV\n"),
            std::string::npos);
  EXPECT_TRUE(readFile(disk / "b_eq.wav") == untaggedWav);

  fs::remove(disk / "filler");
  RunningCommand roomy(work.path(), arguments);
  EXPECT_EQ(roomy.wait(), 0) << roomy.standardError();
  EXPECT_NE(readFile(disk / "b_eq.wav").find(comment), std::string::npos);
}

// A copy of the WAV at path with the 32-bit field at offset set to 0.
void zeroField(const std::string& from, const std::string& to, std::size_t offset) {
  std::string bytes = readFile(from);
  bytes.replace(offset, 4, 4, '\0');
  writeFile(to, bytes);
}

// The first `share` of the file at path, as a copy or a download cut short leaves it.
void cutShort(const std::string& path, double share) {
  fs::resize_file(path, static_cast<std::uintmax_t>(fs::file_size(path) * share));
}

// What the command logs and reports for a cut source: the seconds its result holds, of the
// seconds its container states (none for a stream that states no length).
std::string endsEarly(const std::string& result, const std::string& stated) {
  char decoded[32];
  std::snprintf(decoded, sizeof decoded, "%.1f", (fs::file_size(result) - 44) / 176400.0);
  return stated.empty() ? "the source ends early: its end is missing, " + std::string(decoded) +
                              " s could be decoded"
                        : "the source ends early: " + std::string(decoded) + " s of " + stated +
                              " s could be decoded";
}

TEST(JobFaults, SourcesWithoutFramesFailAndCutSourcesAreProcessedWithAWord) {
  TempFolder root;
  const fs::path album = root / "album";
  fs::create_directory(album);
  ASSERT_TRUE(makeTone(album / "good.wav", kWav));
  ASSERT_TRUE(makeTone(root / "mono.wav", {"-ac", "1", "-acodec", "pcm_s16le", "-f", "wav"}));
  // Bytes 24 to 27 hold the sample rate, 28 to 31 the byte rate.
  zeroField(album / "good.wav", album / "rate0.wav", 24);
  zeroField(root / "mono.wav", album / "monorate0.wav", 28);
  ASSERT_TRUE(makeTone(album / "empty.flac", {"-t", "0"}));
  ASSERT_TRUE(makeTone(album / "whole.flac", {}, 20.0));
  ASSERT_TRUE(makeTone(album / "cutflac.flac", {}, 20.0));
  ASSERT_TRUE(makeTone(album / "cutm4a.m4a", {"-acodec", "aac", "-movflags", "+faststart"}, 20.0));
  ASSERT_TRUE(makeTone(album / "cutopus.opus", {"-acodec", "libopus"}, 20.0));
  for (const char* cut : {"cutflac.flac", "cutm4a.m4a", "cutopus.opus"}) cutShort(album / cut, 0.4);
  writeFile(album / "empty.mp3", "");
  ASSERT_EQ(platform::runChildAndWait({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                       "color=red:s=32x32:d=1", album / "picture.mp4"})
                .exitStatus,
            0);
  TempFolder work;
  RunningCommand job(work.path(), {"-j", "2", "--log", "--replaygain", "--report",
                                      work / "report", album.string()});

  EXPECT_EQ(job.wait(), 3);
  const std::string results = (album / "sonbalanced/").string();
  const std::string errors = job.standardError();
  const std::string log = readFile(work / batch::kProcessLogName);
  // A mono WAV goes through the converter, which reads its rate from the sample rate; one whose
  // sample rate is 0 the converter cannot read; a source whose audio is empty has no frames.
  const std::pair<const char*, const char*> failures[] = {
      {"rate0.wav", "its audio could not be extracted"},
      {"empty.flac", "no audio frames"},
      {"empty.mp3", "the file is empty"},
      {"picture.mp4", "it has no audio stream"}};
  for (const auto& [name, reason] : failures) {
    EXPECT_NE(errors.find("sonbalancer-cli: " + (album / name).string() + ": " + reason + "\n"),
              std::string::npos)
        << errors;
    const std::string stem = fs::path(name).stem().string();
    EXPECT_FALSE(fs::exists(results + stem + "_eq.wav"));
    EXPECT_FALSE(fs::exists(results + stem + ".mp3"));
  }
  EXPECT_GT(fs::file_size(results + "monorate0_eq.wav"), 44u);
  EXPECT_NE(log.find("Audio extraction / conversion successful\nERROR: No audio frames in this "
                     "file ! It will not be processed.\n\nParsing "),
            std::string::npos)
      << log;
  // The album is the six tracks with audio, the cut ones among them.
  EXPECT_NE(log.find("written into 6 of 6 MP3 files\n"), std::string::npos) << log;

  const nlohmann::json report = nlohmann::json::parse(readFile(work / "report/report.json"));
  std::map<std::string, nlohmann::json> warnings;
  for (const nlohmann::json& track : report["tracks"]) {
    warnings[fs::path(track["source"].get<std::string>()).filename()] = track["source_warning"];
  }
  const std::map<std::string, std::string> cut = {
      {"cutflac.flac", endsEarly(results + "cutflac_eq.wav", "20.0")},
      {"cutm4a.m4a", endsEarly(results + "cutm4a_eq.wav", "20.0")},
      {"cutopus.opus", endsEarly(results + "cutopus_eq.wav", "")}};
  for (const auto& [name, warning] : cut) {
    EXPECT_NE(log.find("Audio extraction / conversion successful\nWARNING: " + warning + "\n"),
              std::string::npos)
        << log;
    EXPECT_NE(errors.find("sonbalancer-cli: " + (album / name).string() + ": " + warning + "\n"),
              std::string::npos)
        << errors;
    EXPECT_EQ(warnings[name], warning);
  }
  EXPECT_TRUE(warnings["whole.flac"].is_null());
  std::size_t warningLines = 0;
  for (std::size_t at = 0; (at = log.find("\nWARNING: ", at)) != std::string::npos; ++at) ++warningLines;
  EXPECT_EQ(warningLines, cut.size());
  // A whole source gets its line as processed, and no notice.
  EXPECT_NE(errors.find((album / "whole.flac").string() + ": processed\n"), std::string::npos);
  EXPECT_EQ(errors.find("sonbalancer-cli: " + (album / "whole.flac").string()), std::string::npos)
      << errors;
}

// Music in a folder the user may read but not write into, as on a share or a read-only mount.
TEST(JobFaults, ReadOnlySourceFolderIsToldApartAndPointsToOutput) {
  if (!testing_support::runningAsRoot()) GTEST_SKIP() << "another user needs root";
  TempFolder root;
  ASSERT_TRUE(makeTone(root / "a.wav", kWav));
  fs::permissions(root.path(), fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
  fs::permissions(root / "a.wav", fs::perms::owner_read | fs::perms::others_read);
  const testing_support::ShellRun run = testing_support::runInShell(
      root.path(), "setpriv --reuid=nobody --regid=nogroup --clear-groups \"$SONBALANCER\" " +
                       testing_support::shellQuoted(root / "a.wav"));
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.standardError.find(root / "a.wav" +
                                   ": its output folder cannot be created: the folder is not "
                                   "writable (--output DIR puts the results elsewhere)\n"),
            std::string::npos)
      << run.standardError;
  EXPECT_FALSE(fs::exists(root / "sonbalanced"));
}

}  // namespace

namespace {

// Sources the user may not read, as a copy from another account leaves them: each is named
// with the system's reason, and the job goes on with the rest.
TEST(JobFaults, UnreadableSourcesAreToldWithTheSystemsReason) {
  if (!testing_support::runningAsRoot()) GTEST_SKIP() << "another user needs root";
  TempFolder root;
  for (const char* name : {"a.wav", "b.wav", "c.mp3"}) {
    ASSERT_TRUE(makeTone(root / name, std::string_view(name).ends_with(".wav")
                                          ? kWav
                                          : std::vector<std::string>{}));
  }
  ASSERT_EQ(::chown(root.path().c_str(), testing_support::nobodyUid(), static_cast<gid_t>(-1)), 0);
  fs::permissions(root / "b.wav", fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(root / "c.mp3", fs::perms::owner_read | fs::perms::owner_write);
  const testing_support::ShellRun run = testing_support::runInShell(
      root.path(), "setpriv --reuid=nobody --regid=nogroup --clear-groups \"$SONBALANCER\" " +
                       testing_support::shellQuoted(root.path()));
  EXPECT_EQ(run.exitStatus, 3);
  for (const char* name : {"b.wav", "c.mp3"}) {
    EXPECT_NE(run.standardError.find(root / name + ": could not be opened: Permission denied\n"),
              std::string::npos)
        << run.standardError;
  }
  EXPECT_TRUE(fs::exists(root / "sonbalanced/a.mp3"));
}

}  // namespace
