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
  // Answers the stop question true from this one on (counted from 1); never when 0.
  int stopFromQuestion = 0;
  int stopQuestions = 0;
  bool stopAsked() override { return stopFromQuestion > 0 && ++stopQuestions >= stopFromQuestion; }
};

// One job's worth of state over a temporary folder: sources are written into it and results
// saved into its "sonbalanced" sub-folder.
struct EngineFixture : ::testing::Test {
  TempFolder folder;
  engine::TrackState track;
  ScriptedHost host;
  RecordingLog log;
  engine::TrackOutcome outcome = engine::TrackOutcome::NoMemory;

  EngineFixture() {
    track.outputFolderPath = (folder.path() / "sonbalanced").string() + "/";
    std::filesystem::create_directory(track.outputFolderPath);
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
    outcome = engine::processTrack(track, host, sourceLog);
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

TEST_F(EngineFixture, DirectWavRoundTripIsLoadedAndSaved) {
  processDirect("Song.wav", plainWav(2, 44100, wav_testing::numberedFrames(750)));

  EXPECT_TRUE(startsWith(log.text(), "Opened - File length: 3044\n\nStep 2")) << log.text();
  EXPECT_EQ(track.outputPath, track.outputFolderPath + "Song_eq.wav");
  EXPECT_TRUE(endsWith(log.text(), savedLines())) << log.text();
  EXPECT_FALSE(track.inputFile);
  EXPECT_EQ(outcome, engine::TrackOutcome::Saved);
  EXPECT_EQ(track.targetLength, 3000u);

  const std::string saved = result();
  ASSERT_EQ(saved.size(), 44u + 3000u);
  const auto header = engine::resultHeader(3000);
  EXPECT_EQ(saved.substr(0, 44), std::string(header.begin(), header.end()));
  EXPECT_EQ(le32At(saved, 4), 3036u);
  EXPECT_EQ(le32At(saved, 40), 3000u);
}

TEST_F(EngineFixture, FlagsAreReadOnceNoBasslineFirst) {
  processDirect("Song.wav", plainWav(2, 44100, someAudio(4000)));
  EXPECT_EQ(host.questions, (std::vector<std::string>{"no bassline", "ignore clicks"}));
}

TEST_F(EngineFixture, DataIsTakenWholeFramesAtItsOwnRateWhateverTheHeaderSays) {
  // The job sends every other rate through the converter; the engine never resamples.
  struct Case {
    const char* name;
    std::uint16_t channels;
    std::uint32_t sampleRate;
    std::size_t dataBytes;
  };
  const Case cases[] = {
      {"stereo 44100, trailing part frame", 2, 44100, 1002},
      {"stereo 42000", 2, 42000, 2000},
      {"stereo 22050", 2, 22050, 2000},
      {"rate field 0", 2, 0, 2000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingLog caseLog;
    std::string bytes = plainWav(c.channels, c.sampleRate, someAudio(c.dataBytes));
    bytes.resize(44 + c.dataBytes);  // no pad byte: the data runs to the end of the file
    processDirect("case.wav", bytes, caseLog);

    const std::string opened = "Opened - File length: " + std::to_string(bytes.size()) + "\n";
    EXPECT_TRUE(startsWith(caseLog.text(), opened + "\nStep 2")) << caseLog.text();
    EXPECT_TRUE(endsWith(caseLog.text(), savedLines())) << caseLog.text();
    const std::uint32_t frameBytes = c.dataBytes & ~std::size_t{3};
    const std::string saved = result();
    EXPECT_EQ(saved.size(), 44u + frameBytes);
    EXPECT_EQ(le32At(saved, 40), frameBytes);
  }
}

TEST_F(EngineFixture, MetadataBeforeTheSamplesIsSkipped) {
  const std::string bytes =
      riffWave(chunk("fmt ", formatBlock(1, 2, 44100, 16)) + chunk("LIST", std::string(20, 'i')) +
               chunk("data", someAudio(3000)));
  processDirect("Tagged.wav", bytes);
  EXPECT_TRUE(startsWith(log.text(), "Opened - File length: 3072\nSkipping WAV metadata...\n\nStep 2"))
      << log.text();
  EXPECT_TRUE(endsWith(log.text(), savedLines()));
}

TEST_F(EngineFixture, DataOffTheFrameGridGivesTheSameResultReadWholeOrBesideTheSplit) {
  // A 26-byte LIST chunk puts the samples at byte 78, two bytes off the grid of byte 44.
  const std::string bytes =
      riffWave(chunk("fmt ", formatBlock(1, 2, 44100, 16)) + chunk("LIST", std::string(26, 'i')) +
               chunk("data", someAudio(3 * (1 << 20) + 1234)));
  processDirect("Tagged.wav", bytes);
  const std::string whole = result();
  track.splitOnOwnThread = true;
  RecordingLog splitLog;
  processDirect("Tagged.wav", bytes, splitLog);
  EXPECT_EQ(result(), whole);
  EXPECT_EQ(splitLog.text(), log.text());
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

TEST_F(EngineFixture, TargetTooLongForTheSavedHeaderTakesTheOutOfMemoryPath) {
  // 4294967288 fits 32 bits, but its RIFF size (+ 36) would not.
  track.inputFile.reset(std::tmpfile());
  track.dataLength = 4'294'967'290u;
  track.outputPath = "left from an earlier entry";
  outcome = engine::processTrack(track, host, log);
  EXPECT_EQ(log.text(),
            "Error: Not enough allocated memory !\n"
            "source length = 4294967290 - target length = 4294967288 - required space = "
            "12884901866\n");
  EXPECT_FALSE(track.inputFile);
  EXPECT_EQ(outcome, engine::TrackOutcome::NoMemory);
  EXPECT_TRUE(track.outputPath.empty());
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(track.buffer.capacity, 0u);
  EXPECT_TRUE(std::filesystem::is_empty(track.outputFolderPath));
}

TEST_F(EngineFixture, TrackNeedingMoreThanTheMachineHasTakesTheOutOfMemoryPath) {
  track.sampleSpaceLimit = 5999;
  processDirect("large.wav", plainWav(2, 44100, someAudio(2000)));
  EXPECT_NE(log.text().find("Error: Not enough allocated memory !\n"
                            "source length = 2000 - target length = 2000 - required space = "
                            "6000\n"),
            std::string::npos)
      << log.text();
  EXPECT_FALSE(track.inputFile);
  EXPECT_EQ(outcome, engine::TrackOutcome::NoMemory);
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
  EXPECT_EQ(outcome, engine::TrackOutcome::NotWritten);

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

// A stop asked for after the first stretch of the first pass, on one thread and with the split
// and the read beside it: the track is given up there, without its scan lines and unsaved.
TEST_F(EngineFixture, StopInTheMiddleOfThePassGivesTheTrackUpUnsaved) {
  const std::string source = plainWav(2, 44100, someAudio(4 * engine::kStopCheckBytes));
  for (const bool ownThread : {false, true}) {
    SCOPED_TRACE(ownThread ? "split on its own thread" : "one thread");
    track.splitOnOwnThread = ownThread;
    host.stopFromQuestion = 2;
    host.stopQuestions = 0;
    RecordingLog stoppedLog;
    processDirect("long.wav", source, stoppedLog);
    EXPECT_EQ(outcome, engine::TrackOutcome::Stopped);
    EXPECT_TRUE(endsWith(stoppedLog.text(), "\nStep 2: three-band filter and scanning...\n"))
        << stoppedLog.text();
    EXPECT_FALSE(std::filesystem::exists(track.resultPath));
    EXPECT_FALSE(std::filesystem::exists(track.partialResultPath));
    EXPECT_FALSE(track.inputFile);
  }
}

}  // namespace
