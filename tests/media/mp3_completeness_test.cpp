#include "media/mp3_completeness.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "platform/child_process.h"
#include "tests/support/media_files.h"
#include "tests/support/mp3_tags.h"
#include "tests/support/temp_folder.h"

namespace {

using media::mp3HoldsWholeTrack;
using testing_support::apeTag;
using testing_support::id3v2Tag;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

bool runConverter(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"ffmpeg", "-nostdin", "-y", "-loglevel", "error"});
  const platform::ChildOutcome outcome = platform::runChildAndWait(arguments);
  return outcome.started && outcome.exitStatusRead && outcome.exitStatus == 0;
}

// A 16-bit stereo 44100 Hz WAV of exactly frames frames, as the pipeline saves its results.
std::string makeWav(const TempFolder& folder, std::uint64_t frames) {
  const std::string path = folder / ("tone" + std::to_string(frames) + ".wav");
  const bool made = testing_support::makeTone(
      path, {"-af", "atrim=end_sample=" + std::to_string(frames), "-acodec", "pcm_s16le"},
      frames / 44100.0 + 0.1);
  return made ? path : "";
}

// Encodes wav the way the pipeline does; options go before the output's format.
std::string encode(const std::string& wav, const std::string& bitRate,
                   const std::vector<std::string>& options = {}, const std::string& name = "") {
  const std::string path = wav + (name.empty() ? bitRate : name) + ".mp3";
  std::vector<std::string> arguments = {"-i", wav};
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.insert(arguments.end(), {"-f", "mp3", "-ab", bitRate, path});
  return runConverter(arguments) ? path : "";
}

// A file-size limit makes the converter's writes run short, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    ::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = nullptr;
};

// Lengths whose last 1152-sample block is long enough that the encoder's padding makes the
// decoded length exactly the WAV's, so one frame more must fail; an empty WAV becomes a lone
// Info frame.
TEST(Mp3Completeness, WholeEncodingHoldsExactlyItsFramesAfterDelayAndPadding) {
  const TempFolder folder;
  for (const std::uint64_t frames : {0u, 22050u, 44100u, 44101u, 441000u}) {
    const std::string wav = makeWav(folder, frames);
    for (const std::string bitRate : {"128k", "192k"}) {
      const std::string mp3 = encode(wav, bitRate);
      ASSERT_FALSE(mp3.empty());
      EXPECT_TRUE(mp3HoldsWholeTrack(mp3, frames)) << mp3;
      EXPECT_FALSE(mp3HoldsWholeTrack(mp3, frames + 1)) << mp3;
    }
  }
}

// MPEG-2 and 2.5 frames hold 576 samples and are sized from 72 bytes per kbit/s; mono moves
// the Info header; without it, every frame counts as audio and there is no delay to take off.
TEST(Mp3Completeness, OtherStreamLayoutsAreMeasuredByTheirOwnFrames) {
  const TempFolder folder;
  const std::string wav = makeWav(folder, 44100);
  struct Case {
    std::vector<std::string> options;
    std::uint64_t frames;
  };
  for (const Case& item : {Case{{"-ar", "22050"}, 22050}, Case{{"-ar", "8000"}, 8000},
                           Case{{"-ac", "1"}, 44100}, Case{{"-write_xing", "0"}, 40 * 1152}}) {
    const std::string mp3 = encode(wav, "32k", item.options, item.options[1]);
    ASSERT_FALSE(mp3.empty());
    EXPECT_TRUE(mp3HoldsWholeTrack(mp3, item.frames)) << mp3;
    EXPECT_FALSE(mp3HoldsWholeTrack(mp3, item.frames + 1)) << mp3;
  }
}

TEST(Mp3Completeness, FileThatEndsEarlyIsIncomplete) {
  const TempFolder folder;
  const std::string wav = makeWav(folder, 441000);
  const std::string whole = encode(wav, "128k");
  ASSERT_TRUE(mp3HoldsWholeTrack(whole, 441000));
  const std::string bytes = readFile(whole);

  for (const std::size_t length :
       {bytes.size() * 3 / 10, bytes.size() * 7 / 10, bytes.size() - 100}) {
    const std::string cut = folder / ("cut" + std::to_string(length) + ".mp3");
    writeFile(cut, bytes.substr(0, length));
    EXPECT_FALSE(mp3HoldsWholeTrack(cut, 441000)) << length;
  }

  // The converter's own size limit stops after a whole frame, at a frame boundary of the whole
  // file; cut there, the whole file's header counts frames it no longer holds.
  const std::string limited = encode(wav, "128k", {"-fs", "60000"}, "limited");
  const std::string atFrame = folder / "at-frame.mp3";
  writeFile(atFrame, bytes.substr(0, std::filesystem::file_size(limited)));
  EXPECT_FALSE(mp3HoldsWholeTrack(limited, 441000));
  EXPECT_FALSE(mp3HoldsWholeTrack(atFrame, 0));

  // The converter's exit status is not looked at: it may be 0 on a full disk.
  const std::string fullDisk = folder / "full-disk.mp3";
  {
    const FileSizeLimit limit(60000);
    runConverter({"-i", wav, "-f", "mp3", "-ab", "128k", fullDisk});
  }
  ASSERT_TRUE(std::filesystem::exists(fullDisk));
  EXPECT_LT(std::filesystem::file_size(fullDisk), bytes.size());
  EXPECT_FALSE(mp3HoldsWholeTrack(fullDisk, 441000));
}

// Frames of another sample rate after the first are no continuation of the track.
TEST(Mp3Completeness, FilesThatAreNoSingleMp3StreamAreRefused) {
  const TempFolder folder;
  const std::string wav = makeWav(folder, 44100);
  writeFile(folder / "text.mp3", std::string(2000, 'x'));
  writeFile(folder / "empty.mp3", "");
  writeFile(folder / "joined.mp3",
            readFile(encode(wav, "128k")) +
                readFile(encode(wav, "128k", {"-ar", "48000", "-id3v2_version", "0"}, "48k")));
  for (const std::string& path : {folder / "text.mp3", folder / "empty.mp3", wav,
                                  folder / "missing.mp3", folder / "joined.mp3"}) {
    EXPECT_FALSE(mp3HoldsWholeTrack(path, 0)) << path;
  }
}

TEST(Mp3Completeness, TagsAroundTheFramesAreSkipped) {
  const TempFolder folder;
  const std::string wav = makeWav(folder, 44100);
  const std::string cover = folder / "cover.png";
  ASSERT_TRUE(runConverter({"-f", "lavfi", "-i", "color=c=gray:s=1200x1200,noise=alls=100:allf=u",
                            "-frames:v", "1", cover}));
  const std::string tagged =
      encode(wav, "128k",
             {"-i", cover, "-map", "0:a", "-map", "1:v", "-c:v", "copy", "-id3v2_version", "3",
              "-metadata", "title=" + std::string(300, 't'), "-write_id3v1", "1"},
             "tagged");
  ASSERT_GT(std::filesystem::file_size(tagged), 3'000'000u);
  EXPECT_TRUE(mp3HoldsWholeTrack(tagged, 44100));
  EXPECT_FALSE(mp3HoldsWholeTrack(tagged, 44101));

  const std::string bytes = readFile(tagged);
  const std::string more = folder / "more.mp3";
  writeFile(more, id3v2Tag(300, true) + bytes.substr(0, bytes.size() - 128) + apeTag() +
                      bytes.substr(bytes.size() - 128));
  EXPECT_TRUE(mp3HoldsWholeTrack(more, 44100));
  // Without its footer flag the footer is left where the frames should start.
  writeFile(more, id3v2Tag(300, true).replace(5, 1, 1, '\0') + bytes);
  EXPECT_FALSE(mp3HoldsWholeTrack(more, 0));
}

}  // namespace
