#include "engine/track_engine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/wav_file.h"
#include "tests/engine/wav_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

using engine_testing::RecordingLog;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;
using wav_testing::chunk;
using wav_testing::formatBlock;
using wav_testing::le32At;
using wav_testing::plainWav;
using wav_testing::riffWave;

// Answers the two option check boxes and records, in order, every question asked.
class ScriptedHost final : public engine::TrackHost {
 public:
  bool noBassline = false;
  bool ignoreClicks = false;
  std::vector<std::string> questions;

  bool noBasslineTicked() override {
    questions.push_back("no bassline");
    return noBassline;
  }
  bool ignoreClicksTicked() override {
    questions.push_back("ignore clicks");
    return ignoreClicks;
  }
  void fileGaugeStep(int, int) override {}
};

// One job's worth of state over a temporary folder: sources are written into it and results
// saved into its "sonbalanced" sub-folder.
struct EngineFixture : ::testing::Test {
  TempFolder folder;
  engine::TrackState track;
  ScriptedHost host;
  RecordingLog log;

  EngineFixture() {
    track.outputFolderPath = (folder.path() / "sonbalanced").string() + "/";
    std::filesystem::create_directory(track.outputFolderPath);
    track.mp3Requested = true;
  }
  ~EngineFixture() override { engine::releaseSampleBuffer(track.buffer); }

  // The result of the source of that name, as the job would name it.
  void nameResult(const std::string& sourceName) {
    track.sourcePath = folder / sourceName;
    track.resultPath =
        track.outputFolderPath + sourceName.substr(0, sourceName.rfind('.')) + "_eq.wav";
    track.partialResultPath = track.resultPath + ".part";
  }

  // Writes a direct WAV source, checks its header and runs the engine on it.
  void processDirect(const std::string& name, const std::string& bytes,
                     engine::ProcessLog& sourceLog) {
    nameResult(name);
    writeFile(track.sourcePath, bytes);
    ASSERT_TRUE(engine::checkDirectWavHeader(track, engine::openInputFile(track.sourcePath),
                                             sourceLog));
    engine::processTrack(track, host, sourceLog);
  }
  void processDirect(const std::string& name, const std::string& bytes) {
    processDirect(name, bytes, log);
  }

  std::string result() const { return readFile(track.outputPath); }
  std::string savedLines() const {
    return "Step 5: Saving result: \nWAV Saved as " + track.outputPath + "\n\n";
  }
};

// Audible data of the given length: numbered frames, the last one cut short if need be.
std::string someAudio(std::size_t bytes) {
  std::string audio = wav_testing::numberedFrames((bytes + 3) / 4);
  audio.resize(bytes);
  return audio;
}

bool startsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(EngineFixture, DirectWavRoundTripIsLoadedConvertedAndSaved) {
  processDirect("Song.wav", plainWav(2, 48000, wav_testing::numberedFrames(750)));

  EXPECT_TRUE(startsWith(log.text(),
                         "Opened - File length: 3044\nStep 1: File resampling...  Shrinking...\n"))
      << log.text();
  EXPECT_EQ(track.outputPath, track.outputFolderPath + "Song_eq.wav");
  EXPECT_TRUE(endsWith(log.text(), savedLines())) << log.text();
  EXPECT_FALSE(track.inputFile);
  EXPECT_TRUE(track.mp3Requested);
  EXPECT_EQ(track.targetLength, 2756u);

  const std::string saved = result();
  ASSERT_EQ(saved.size(), 44u + 2756u);
  const auto header = engine::resultHeader(2756);
  EXPECT_EQ(saved.substr(0, 44), std::string(header.begin(), header.end()));
  EXPECT_EQ(le32At(saved, 4), 2792u);
  EXPECT_EQ(le32At(saved, 40), 2756u);
}

TEST_F(EngineFixture, FlagsAreReadOnceNoBasslineFirst) {
  processDirect("Song.wav", plainWav(2, 44100, someAudio(4000)));
  EXPECT_EQ(host.questions, (std::vector<std::string>{"no bassline", "ignore clicks"}));
}

TEST_F(EngineFixture, LogsAndLengthsFollowTheRate) {
  struct Case {
    const char* name;
    std::uint16_t channels;
    std::uint32_t sampleRate;
    std::size_t dataBytes;
    const char* loadLines;
    std::uint32_t targetLength;
  };
  const Case cases[] = {
      {"stereo 44100, trailing part frame", 2, 44100, 1002, "", 1000},
      {"stereo 42000", 2, 42000, 2000, "", 2000},
      {"stereo 46421", 2, 46421, 2002, "", 2000},
      {"stereo 22050", 2, 22050, 2000, "Step 1: File resampling...  Expanding...\n", 4000},
      {"mono 22050", 1, 22050, 2000, "Step 1: File resampling...  Expanding...\n", 8000},
      {"rate field 0", 2, 0, 2000, "Step 1: File resampling...  Shrinking...\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingLog caseLog;
    std::string bytes = plainWav(c.channels, c.sampleRate, someAudio(c.dataBytes));
    bytes.resize(44 + c.dataBytes);  // no pad byte: the data runs to the end of the file
    processDirect("case.wav", bytes, caseLog);

    const std::string opened = "Opened - File length: " + std::to_string(bytes.size()) + "\n";
    EXPECT_TRUE(startsWith(caseLog.text(), opened + c.loadLines)) << caseLog.text();
    EXPECT_TRUE(endsWith(caseLog.text(), savedLines())) << caseLog.text();
    const std::string saved = result();
    EXPECT_EQ(saved.size(), 44u + c.targetLength);
    EXPECT_EQ(le32At(saved, 4), 36u + c.targetLength);
    EXPECT_EQ(le32At(saved, 40), c.targetLength);
  }
}

TEST_F(EngineFixture, MetadataBeforeTheSamplesIsSkippedBeforeConversion) {
  const std::string bytes =
      riffWave(chunk("fmt ", formatBlock(1, 2, 48000, 16)) + chunk("LIST", std::string(20, 'i')) +
               chunk("data", someAudio(3000)));
  processDirect("Tagged.wav", bytes);
  EXPECT_TRUE(startsWith(log.text(),
                         "Opened - File length: 3072\n"
                         "Step 1: File resampling...  Skipping WAV metadata...\nShrinking...\n"))
      << log.text();
  EXPECT_TRUE(endsWith(log.text(), savedLines()));
}

TEST_F(EngineFixture, ConvertedInputWithTagsIsReadFromItsDataChunk) {
  const std::string info = std::string("INFO") + chunk("INAM", std::string("my data song\0", 13));
  const std::string samples = someAudio(4000);
  nameResult("song.mp3");
  const std::string temporary = track.outputFolderPath + "TMPOUT.WAV";
  writeFile(temporary, riffWave(chunk("fmt ", formatBlock(1, 2, 44100, 16)) + chunk("LIST", info) +
                                chunk("data", samples)));
  ASSERT_EQ(engine::openConvertedInput(track, temporary), engine::ConvertedInput::Ready);
  engine::processTrack(track, host, log);

  EXPECT_EQ(log.text().find("Skipping WAV metadata"), std::string::npos) << log.text();
  EXPECT_TRUE(endsWith(log.text(), savedLines()));
  EXPECT_EQ(track.outputPath, track.outputFolderPath + "song_eq.wav");
  EXPECT_EQ(result().size(), 44u + 4000u);
}

TEST_F(EngineFixture, TargetBeyond32BitsTakesTheOutOfMemoryPath) {
  track.sourcePath = folder / "huge.wav";
  writeFile(track.sourcePath, someAudio(100));
  track.inputFile = engine::openInputFile(track.sourcePath);
  track.dataLength = 3'000'000'000u;
  track.rateFactor = 2.0f;
  track.outputPath = "left from an earlier entry";

  engine::processTrack(track, host, log);

  EXPECT_EQ(log.text(),
            "Error: Not enough allocated memory !\n"
            "source length = 3000000000 - target length = 6000000000 - required space = "
            "18000000000\n");
  EXPECT_FALSE(track.inputFile);
  EXPECT_FALSE(track.mp3Requested);
  EXPECT_TRUE(track.outputPath.empty());
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(track.buffer.capacity, 0u);
  EXPECT_TRUE(std::filesystem::is_empty(track.outputFolderPath));
}

TEST_F(EngineFixture, TargetTooLongForTheSavedHeaderTakesTheOutOfMemoryPath) {
  // 4294967260 fits 32 bits, but its RIFF size (+ 36) would not.
  track.inputFile.reset(std::tmpfile());
  track.dataLength = 2'147'483'630u;
  track.rateFactor = 2.0f;
  engine::processTrack(track, host, log);
  EXPECT_EQ(log.text(),
            "Error: Not enough allocated memory !\n"
            "source length = 2147483630 - target length = 4294967260 - required space = "
            "12884901780\n");
  EXPECT_FALSE(track.inputFile);
  EXPECT_FALSE(track.mp3Requested);
}

TEST_F(EngineFixture, TrackNeedingMoreThanTheMachineHasTakesTheOutOfMemoryPath) {
  // A mono header claiming a byte rate of 1: 2 KB of data would need 1 GB of samples.
  std::string bytes = plainWav(1, 44100, someAudio(2000));
  bytes[28] = 1, bytes[29] = bytes[30] = bytes[31] = 0;
  track.sampleSpaceLimit = 64u << 20;
  processDirect("damaged.wav", bytes);
  EXPECT_NE(log.text().find("Error: Not enough allocated memory !\n"
                            "source length = 2000 - target length = 352800000 - required space = "
                            "1058400000\n"),
            std::string::npos)
      << log.text();
  EXPECT_FALSE(track.inputFile);
  EXPECT_FALSE(track.mp3Requested);
  EXPECT_EQ(track.buffer.capacity, 0u);
}

TEST_F(EngineFixture, BufferIsKeptForSmallerTracksAndGrownForLarger) {
  processDirect("first.wav", plainWav(2, 44100, someAudio(3000)));
  EXPECT_EQ(track.buffer.capacity, 9000u);
  const std::uint8_t* block = track.buffer.bytes;

  processDirect("second.wav", plainWav(2, 44100, someAudio(2000)));
  EXPECT_EQ(track.buffer.bytes, block);
  EXPECT_EQ(track.buffer.capacity, 6000u);

  processDirect("third.wav", plainWav(2, 44100, someAudio(2500)));
  EXPECT_EQ(track.buffer.capacity, 7500u);
  EXPECT_EQ(result().size(), 44u + 2500u);
}

TEST_F(EngineFixture, ReadAndSaveBesideThePassesGiveTheSameResultOrNothing) {
  // Several read and save stretches and an odd tail, with the last application on a second
  // thread.
  const std::string source = plainWav(2, 44100, someAudio(3 * (1 << 20) + 1234));
  processDirect("plain.wav", source);
  const std::string plainResult = result();

  track.splitOnOwnThread = true;
  RecordingLog threadedLog;
  processDirect("plain.wav", source, threadedLog);
  EXPECT_EQ(result(), plainResult);
  EXPECT_EQ(threadedLog.text(), log.text());

  // A folder in the way of the partial file fails the save as before, leaving nothing.
  std::filesystem::remove(track.outputPath);
  std::filesystem::create_directory(track.partialResultPath);
  RecordingLog failedLog;
  processDirect("plain.wav", source, failedLog);
  EXPECT_TRUE(endsWith(failedLog.text(), "Could not write " + track.outputPath + " !\n\n"))
      << failedLog.text();
  EXPECT_FALSE(std::filesystem::exists(track.outputPath));
  EXPECT_FALSE(track.mp3Requested);

  // The data is read while the first pass splits it. A file that comes up short of the length
  // the engine was given gives the same silence after its end as a file read whole first.
  std::string shortResults[2];
  for (const bool ownThread : {false, true}) {
    track.splitOnOwnThread = ownThread;
    nameResult("short.wav");
    writeFile(track.sourcePath, source);
    ASSERT_TRUE(engine::checkDirectWavHeader(track, engine::openInputFile(track.sourcePath), log));
    std::filesystem::resize_file(track.sourcePath, 44 + 2 * (1 << 20) + 6);
    engine::processTrack(track, host, log);
    shortResults[ownThread] = result();
  }
  EXPECT_EQ(shortResults[1], shortResults[0]);
  EXPECT_EQ(shortResults[0].size(), plainResult.size());
  EXPECT_NE(shortResults[0], plainResult);
}

}  // namespace
