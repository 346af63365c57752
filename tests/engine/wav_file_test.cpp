#include "engine/wav_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "tests/engine/wav_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

using engine_testing::RecordingLog;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;
using wav_testing::appendLe16;
using wav_testing::appendLe32;
using wav_testing::chunk;
using wav_testing::formatBlock;
using wav_testing::le32At;
using wav_testing::plainWav;
using wav_testing::riffWave;

const std::string kCorruptedText =
    "WAV header data seem to be corrupted. Try old command utility by using the -f option to "
    "load as raw data.\n";

// Opens path as the direct input of a fresh track and runs the header checks on it.
struct DirectCheck {
  engine::TrackState track;
  RecordingLog log;
  bool accepted = false;

  explicit DirectCheck(const std::string& path)
      : accepted(engine::checkDirectWavHeader(track, engine::openInputFile(path), log)) {}
};

std::string wavFile(const TempFolder& folder, const std::string& bytes) {
  const std::string path = folder / "input.wav";
  writeFile(path, bytes);
  return path;
}

// ---- Header checks of a direct WAV input

TEST(DirectWavHeader, FileOf1024BytesIsTooShort) {
  TempFolder folder;
  DirectCheck check(wavFile(folder, plainWav(2, 44100, std::string(980, '\1'))));
  EXPECT_FALSE(check.accepted);
  EXPECT_FALSE(check.track.inputFile);
  EXPECT_EQ(check.log.text(), "This WAV file is too short! It will be ignored !\n");
}

TEST(DirectWavHeader, FileOf1025BytesIsAcceptedWithDataLength981) {
  TempFolder folder;
  const std::string bytes = plainWav(2, 44100, std::string(980, '\1')) + '\1';
  DirectCheck check(wavFile(folder, bytes));
  ASSERT_TRUE(check.accepted);
  EXPECT_EQ(check.log.text(), "Opened - File length: 1025\n");
  EXPECT_EQ(check.track.dataLength, 981u);
  EXPECT_EQ(std::ftell(check.track.inputFile.get()), 44);
  EXPECT_EQ(std::string(check.track.header.begin(), check.track.header.end()), bytes.substr(0, 44));
  EXPECT_EQ(check.track.channelByte, 2);
  EXPECT_EQ(check.track.rateField, 44100u);
  EXPECT_EQ(check.track.rateFactor, 1.0f);
}

// Only a file that is its 44-byte header and its audio has no room for tags; a chunk before the
// data (read as audio) or after it (one byte too many) may hold some.
TEST(DirectWavHeader, OnlyAHeaderAndAudioToTheEndHoldAudioAlone) {
  TempFolder folder;
  const std::string audio(2000, '\1');
  const std::string bare = plainWav(2, 44100, audio);
  const std::string title("INFOINAM\4\0\0\0song", 16);
  const std::string format = wav_testing::formatBlock(1, 2, 44100, 16);
  const std::string tagged = riffWave(wav_testing::chunk("fmt ", format) +
                                      wav_testing::chunk("LIST", title) +
                                      wav_testing::chunk("data", audio));
  for (const auto& [bytes, alone] : {std::pair{bare, true}, std::pair{bare + "id3 ", false},
                                     std::pair{tagged, false}}) {
    DirectCheck check(wavFile(folder, bytes));
    ASSERT_TRUE(check.accepted);
    EXPECT_EQ(engine::holdsAudioAlone(check.track), alone) << bytes.size();
  }
}

TEST(DirectWavHeader, FileWithoutRiffIsNotAWavFile) {
  TempFolder folder;
  std::string bytes = plainWav(2, 44100, std::string(2000, '\0'));
  bytes.replace(0, 4, "RIFX");
  DirectCheck check(wavFile(folder, bytes));
  EXPECT_FALSE(check.accepted);
  EXPECT_FALSE(check.track.inputFile);
  EXPECT_EQ(check.log.text(),
            "Opened - File length: 2044\nThis is not a valid WAV file at all !\n");
}

TEST(DirectWavHeader, OnlyTheLowByteOfTheChannelCountCounts) {
  TempFolder folder;
  std::string bytes = plainWav(2, 48000, std::string(2000, '\0'));
  bytes[22] = 2;
  bytes[23] = 1;  // 258 channels read as 2
  DirectCheck stereo(wavFile(folder, bytes));
  EXPECT_TRUE(stereo.accepted);
  EXPECT_EQ(stereo.track.rateField, 48000u);

  bytes[22] = 6;
  bytes[23] = 0;
  DirectCheck sixChannels(wavFile(folder, bytes));
  EXPECT_FALSE(sixChannels.accepted);
  EXPECT_FALSE(sixChannels.track.inputFile);
  EXPECT_EQ(sixChannels.log.text(), "Opened - File length: 2044\n" + kCorruptedText);
}

TEST(DirectWavHeader, RateFactorComesFromTheSampleRateOrTheMonoByteRate) {
  struct Case {
    std::uint16_t channels;
    std::uint32_t sampleRate;
    float factor;
  };
  const Case cases[] = {
      {2, 44100, 1.0f}, {2, 48000, static_cast<float>(0.91875)},
      {2, 22050, 2.0f}, {1, 44100, 2.0f},
      {1, 22050, 4.0f}, {1, 88200, 1.0f},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    DirectCheck check(wavFile(folder, plainWav(c.channels, c.sampleRate, std::string(2000, '\0'))));
    ASSERT_TRUE(check.accepted);
    EXPECT_EQ(check.track.rateFactor, c.factor) << c.channels << " " << c.sampleRate;
    EXPECT_EQ(check.track.channelByte, c.channels);
  }
}

TEST(DirectWavHeader, RateFieldOfZeroGivesAnInfiniteFactor) {
  TempFolder folder;
  DirectCheck check(wavFile(folder, plainWav(2, 0, std::string(2000, '\0'))));
  ASSERT_TRUE(check.accepted);
  EXPECT_TRUE(std::isinf(check.track.rateFactor));
}

TEST(DirectWavHeader, RiffWithoutWaveFmtIsAcceptedOnItsChannelByte) {
  TempFolder folder;
  std::string bytes = plainWav(1, 44100, std::string(2000, '\0'));
  bytes.replace(8, 8, "XXXXXXXX");
  DirectCheck check(wavFile(folder, bytes));
  EXPECT_TRUE(check.accepted);
  EXPECT_EQ(check.track.rateFactor, 2.0f);
}

TEST(DirectWavHeader, FileOf4GiBIsSkippedNotWrappedRound) {
  TempFolder folder;
  const std::string path = wavFile(folder, plainWav(2, 44100, std::string(2000, '\0')));
  std::filesystem::resize_file(path, 0x100000000ull);  // sparse: costs no disk
  DirectCheck tooLong(path);
  EXPECT_FALSE(tooLong.accepted);
  EXPECT_FALSE(tooLong.track.inputFile);
  EXPECT_EQ(tooLong.log.text(),
            "This WAV file is too long (4 GiB or more)! It will be ignored !\n");

  std::filesystem::resize_file(path, 0xFFFFFFFFull);
  DirectCheck longest(path);
  EXPECT_TRUE(longest.accepted);
  EXPECT_EQ(longest.track.dataLength, 0xFFFFFFFFu - 44);
}

// ---- Which WAV inputs go through the converter

std::string extensibleFormat(std::uint16_t subFormatCode, std::uint16_t bitsPerSample) {
  std::string block = formatBlock(0xFFFE, 2, 44100, bitsPerSample);
  appendLe16(block, 22);  // extension size
  appendLe16(block, bitsPerSample);
  appendLe32(block, 3);  // front left and right
  appendLe16(block, subFormatCode);
  block += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  return block;
}

TEST(WavNeedsConversion, OnlyStereoSixteenBitPcmNearItsOwnRateIsReadDirectly) {
  TempFolder folder;
  const std::string samples(64, '\0');
  struct Case {
    const char* name;
    std::string bytes;
    bool needsConversion;
  };
  const Case cases[] = {
      {"16-bit PCM", plainWav(2, 44100, samples), false},
      {"16-bit PCM mono", plainWav(1, 44100, samples), true},
      {"48 kHz", plainWav(2, 48000, samples), true},
      {"22.05 kHz", plainWav(2, 22050, samples), true},
      {"46421 Hz, played at its own rate", plainWav(2, 46421, samples), false},
      {"rate field 0", plainWav(2, 0, samples), true},
      {"24-bit PCM", plainWav(2, 44100, samples, 24), true},
      {"32-bit PCM", plainWav(2, 44100, samples, 32), true},
      {"8-bit PCM", plainWav(2, 44100, samples, 8), true},
      {"32-bit float", plainWav(2, 44100, samples, 32, 3), true},
      {"ADPCM", plainWav(2, 44100, samples, 4, 2), true},
      {"extensible 16-bit PCM",
       riffWave(chunk("fmt ", extensibleFormat(1, 16)) + chunk("data", samples)), false},
      {"extensible 24-bit PCM",
       riffWave(chunk("fmt ", extensibleFormat(1, 24)) + chunk("data", samples)), true},
      {"extensible float",
       riffWave(chunk("fmt ", extensibleFormat(3, 32)) + chunk("data", samples)), true},
      {"fmt after a JUNK chunk",
       riffWave(chunk("JUNK", std::string(27, '\0')) + chunk("fmt ", formatBlock(3, 2, 44100, 32)) +
                chunk("data", samples)),
       true},
      {"not RIFF", "RIFX" + plainWav(2, 44100, samples, 24).substr(4), false},
      {"no fmt chunk", riffWave(chunk("data", samples)), false},
      {"fmt chunk claiming more than the file",
       [&] {
         std::string bytes = riffWave(chunk("fmt ", formatBlock(3, 2, 44100, 32)) + samples);
         bytes[16] = '\xf0', bytes[17] = bytes[18] = bytes[19] = '\xff';
         return bytes;
       }(),
       false},
  };
  for (const Case& c : cases) {
    const std::string path = folder / "probe.wav";
    writeFile(path, c.bytes);
    EXPECT_EQ(engine::wavNeedsConversion(path), c.needsConversion) << c.name;
  }
  EXPECT_FALSE(engine::wavNeedsConversion(folder / "missing.wav"));
}

// ---- The converter's output

// What the converter writes: a LIST chunk of tags (one of them holding the word "data", one
// of odd length) between the format and the data chunk, so the audio starts at byte 110.
std::string converterOutput(const std::string& samples) {
  const std::string info = std::string("INFO") + chunk("IART", std::string("x\0", 2)) +
                           chunk("INAM", std::string("my data song\0", 13)) +
                           chunk("ISFT", std::string("Lavf59.27.100\0", 14));
  return riffWave(chunk("fmt ", formatBlock(1, 2, 44100, 16)) + chunk("LIST", info) +
                  chunk("data", samples));
}

struct ConvertedOpen {
  engine::TrackState track;
  engine::ConvertedInput outcome;

  explicit ConvertedOpen(const std::string& path)
      : outcome(engine::openConvertedInput(track, path)) {}
};

TEST(ConvertedInput, AudioStartsAtTheDataChunkWhateverPrecedesIt) {
  TempFolder folder;
  const std::string samples = wav_testing::numberedFrames(25);
  const std::string bytes = converterOutput(samples);
  ASSERT_EQ(bytes.size(), 110 + samples.size());
  const std::string path = folder / "TMPOUT.WAV";
  writeFile(path, bytes);

  ConvertedOpen input(path);
  ASSERT_EQ(input.outcome, engine::ConvertedInput::Ready);
  EXPECT_EQ(input.track.dataLength, samples.size());
  EXPECT_EQ(input.track.rateFactor, 1.0f);
  EXPECT_EQ(std::ftell(input.track.inputFile.get()), 110);
  const std::string header(input.track.header.begin(), input.track.header.end());
  EXPECT_EQ(header.substr(0, 36), bytes.substr(0, 36));
  EXPECT_EQ(header.substr(36, 4), "data");
  EXPECT_EQ(le32At(header, 40), samples.size());
}

TEST(ConvertedInput, PlainHeaderGivesTheDataAfterByte44) {
  TempFolder folder;
  const std::string path = folder / "TMPOUT.WAV";
  writeFile(path, plainWav(2, 44100, std::string(56, '\3')));
  ConvertedOpen input(path);
  ASSERT_EQ(input.outcome, engine::ConvertedInput::Ready);
  EXPECT_EQ(input.track.dataLength, 56u);
  EXPECT_EQ(std::ftell(input.track.inputFile.get()), 44);
}

TEST(ConvertedInput, IsNeverValidated) {
  TempFolder folder;
  const std::string path = folder / "TMPOUT.WAV";
  std::string bytes(100, '\7');
  writeFile(path, bytes);
  ConvertedOpen input(path);
  ASSERT_EQ(input.outcome, engine::ConvertedInput::Ready);
  EXPECT_EQ(input.track.dataLength, 56u);
  EXPECT_EQ(input.track.rateFactor, 1.0f);
  EXPECT_EQ(std::string(input.track.header.begin(), input.track.header.end()), bytes.substr(0, 44));
}

TEST(ConvertedInput, ChunkSizesRunningPastTheEndFallBackToByte44) {
  TempFolder folder;
  const std::string path = folder / "TMPOUT.WAV";
  std::string bytes =
      riffWave(chunk("fmt ", formatBlock(1, 2, 44100, 16)) + chunk("LIST", std::string(200, 'x')));
  bytes.replace(40, 4, "\xFF\xFF\xFF\x7F");
  writeFile(path, bytes);
  ConvertedOpen input(path);
  ASSERT_EQ(input.outcome, engine::ConvertedInput::Ready);
  EXPECT_EQ(input.track.dataLength, bytes.size() - 44);
  EXPECT_EQ(std::string(input.track.header.begin(), input.track.header.end()), bytes.substr(0, 44));
}

TEST(ConvertedInput, ShorterThanAHeaderHoldsNoAudio) {
  TempFolder folder;
  const std::string path = folder / "TMPOUT.WAV";
  writeFile(path, std::string(43, 'R'));
  ConvertedOpen input(path);
  EXPECT_EQ(input.outcome, engine::ConvertedInput::NoAudio);
  EXPECT_FALSE(input.track.inputFile);
}

TEST(ConvertedInput, AudioOf4GiBIsTooLong) {
  TempFolder folder;
  const std::string path = folder / "TMPOUT.WAV";
  writeFile(path, converterOutput(""));
  std::filesystem::resize_file(path, 110 + 0x100000000ull);
  ConvertedOpen input(path);
  EXPECT_EQ(input.outcome, engine::ConvertedInput::TooLong);
  EXPECT_FALSE(input.track.inputFile);
}

TEST(ConvertedInput, MissingFileCannotBeOpened) {
  TempFolder folder;
  ConvertedOpen input(folder / "TMPOUT.WAV");
  EXPECT_EQ(input.outcome, engine::ConvertedInput::CannotOpen);
  EXPECT_FALSE(input.track.inputFile);
}

// ---- The result's header

TEST(ResultHeader, HoldsTheTemplateWithBothSizes) {
  const auto header = engine::resultHeader(400);
  const std::string expected = std::string("RIFF\xB4\x01\x00\x00WAVEfmt ", 16) +
                               std::string("\x10\x00\x00\x00\x01\x00\x02\x00", 8) +
                               std::string("\x44\xAC\x00\x00\x10\xB1\x02\x00", 8) +
                               std::string(
                                   "\x04\x00\x10\x00"
                                   "data"
                                   "\x90\x01\x00\x00",
                                   12);
  EXPECT_EQ(std::string(header.begin(), header.end()), expected);

  const auto empty = engine::resultHeader(0);
  EXPECT_EQ(le32At(std::string(empty.begin(), empty.end()), 4), 36u);
  EXPECT_EQ(le32At(std::string(empty.begin(), empty.end()), 40), 0u);
}

// ---- Saving

struct SaveFixture : ::testing::Test {
  TempFolder folder;
  engine::TrackState track;
  RecordingLog log;
  std::string outputPath;
  bool saved = false;

  void prepare(std::uint32_t targetLength) {
    nameResult(folder.path().string() + "/Song_eq.wav");
    track.targetLength = targetLength;
    ASSERT_TRUE(engine::obtainSampleBuffer(track.buffer, 3ull * targetLength));
    for (std::uint32_t index = 0; index < targetLength; ++index) {
      track.buffer.bytes[index] = static_cast<std::uint8_t>(index * 7);
    }
  }
  void TearDown() override { engine::releaseSampleBuffer(track.buffer); }

  void nameResult(const std::string& path) {
    outputPath = path;
    track.resultPath = path;
    track.partialResultPath = path + ".part";
  }

  std::string samples() const {
    return std::string(reinterpret_cast<const char*>(track.buffer.bytes), track.targetLength);
  }
  bool partialLeft() const { return std::filesystem::exists(track.partialResultPath); }
};

TEST_F(SaveFixture, WritesHeaderAndPcmRegionUnderTheResultPath) {
  prepare(400);
  saved = engine::saveResult(track, log);

  EXPECT_EQ(log.text(), "Step 5: Saving result: \nWAV Saved as " + outputPath + "\n\n");
  EXPECT_EQ(track.outputPath, outputPath);
  EXPECT_TRUE(saved);
  const std::string written = readFile(outputPath);
  const auto header = engine::resultHeader(400);
  EXPECT_EQ(written, std::string(header.begin(), header.end()) + samples());
  EXPECT_EQ(le32At(written, 4), 436u);
  EXPECT_EQ(le32At(written, 40), 400u);
  EXPECT_FALSE(partialLeft());
}

TEST_F(SaveFixture, ReplacesAnEarlierResult) {
  prepare(40);
  writeFile(outputPath, "an earlier result");
  saved = engine::saveResult(track, log);
  EXPECT_EQ(readFile(outputPath).size(), 84u);
}

TEST_F(SaveFixture, SomethingAtThePartialNameIsNeitherWrittenThroughNorRemoved) {
  prepare(40);
  const std::string target = folder.path().string() + "/elsewhere";
  writeFile(target, "kept");
  std::filesystem::create_symlink(target, track.partialResultPath);
  saved = engine::saveResult(track, log);
  EXPECT_EQ(log.text(), "Step 5: Saving result: \nCould not write " + outputPath + " !\n\n");
  EXPECT_EQ(readFile(target), "kept");
  EXPECT_TRUE(std::filesystem::is_symlink(track.partialResultPath));
  EXPECT_FALSE(std::filesystem::exists(outputPath));
}

TEST_F(SaveFixture, MissingOutputFolderCannotBeWritten) {
  prepare(40);
  const std::string gone = folder.path().string() + "/gone/";
  nameResult(gone + "Song_eq.wav");
  saved = engine::saveResult(track, log);
  EXPECT_EQ(log.text(), "Step 5: Saving result: \nCould not write " + outputPath + " !\n\n");
  EXPECT_EQ(track.outputPath, outputPath);
  EXPECT_FALSE(saved);
  EXPECT_FALSE(std::filesystem::exists(gone));
}

TEST_F(SaveFixture, ResultWithoutAPathIsAFailedSave) {
  prepare(40);
  nameResult("");
  saved = engine::saveResult(track, log);
  EXPECT_EQ(log.text(), "Step 5: Saving result: \nCould not write  !\n\n");
  EXPECT_FALSE(saved);
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

// A file-size limit makes the write run short, as a full disk would.
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

TEST_F(SaveFixture, ShortWriteLeavesTheEarlierResultAndNoPartialFile) {
  prepare(100'000);
  writeFile(outputPath, "an earlier result");
  {
    FileSizeLimit limit(10'000);
    saved = engine::saveResult(track, log);
  }
  EXPECT_EQ(log.text(), "Step 5: Saving result: \nCould not write " + outputPath + " !\n\n");
  EXPECT_FALSE(saved);
  EXPECT_EQ(readFile(outputPath), "an earlier result");
  EXPECT_FALSE(partialLeft());
}

TEST_F(SaveFixture, ShortWriteLeavesNoResultWhenThereWasNone) {
  prepare(100'000);
  {
    FileSizeLimit limit(10'000);
    saved = engine::saveResult(track, log);
  }
  EXPECT_FALSE(std::filesystem::exists(outputPath));
  EXPECT_FALSE(partialLeft());
  EXPECT_FALSE(saved);
}

TEST_F(SaveFixture, FailedRenameCountsAsAFailedSave) {
  prepare(40);
  std::filesystem::create_directories(outputPath + "/occupied");
  saved = engine::saveResult(track, log);
  EXPECT_EQ(log.text(), "Step 5: Saving result: \nCould not write " + outputPath + " !\n\n");
  EXPECT_FALSE(saved);
  EXPECT_TRUE(std::filesystem::is_directory(outputPath + "/occupied"));
  EXPECT_FALSE(partialLeft());
}

}  // namespace
