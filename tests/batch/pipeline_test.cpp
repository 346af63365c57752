#include "batch/pipeline.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <numbers>
#include <optional>
#include <sstream>

#include "batch/job_setup.h"
#include "batch/native_path.h"
#include "platform/locks.h"
#include "tests/batch/fake_window.h"
#include "tests/engine/wav_bytes.h"
#include "tests/support/fake_system_services.h"
#include "tests/support/media_files.h"
#include "tests/support/other_user.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_patterns.h"
#include "tests/support/work_folder.h"

namespace fs = std::filesystem;
using platform::ChildOutcome;
using platform::DeleteOutcome;
using testing_support::FakeSystemServices;
using testing_support::FakeWindow;
using testing_support::makeTone;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::workFolderIn;
using testing_support::WorkingFolder;
using testing_support::writeFile;

namespace {

const std::vector<std::string> kMp3 = {"-acodec", "libmp3lame", "-f", "mp3"};
const std::vector<std::string> kPcmWav = {"-acodec", "pcm_s16le", "-ar", "44100", "-f", "wav"};
// Where the source stands in the converter's argument list.
constexpr std::size_t kConvertedSource = 6;

std::string banner(batch::JobMode mode, const std::string& path) {
  return std::string(
             "SonBalancer V1.70 - PROCESS LOG FILE\n"
             "------------------------------------\nMODE: ") +
         (mode == batch::JobMode::Folder ? "MULTIPLE FILE (FOLDER) PROCESS\n\n"
                                         : "SINGLE FILE PROCESS\n\n") +
         "SOURCE PATH: " + path + "\n\n";
}

std::string conversionLine(const std::string& source, const std::string& outputFolder) {
  return "ffmpeg -i \"" + source +
         "\" -f wav -flags bitexact -acodec pcm_s16le -ar 44100 -ac 2 \"" + outputFolder +
         "TMPOUT.WAV\"\n";
}

constexpr const char* kExtractionFailed =
    "Audio extraction failed! This file will not be processed.\n\n";
constexpr const char* kNoEngineReached =
    "\nERROR: File extractions could not be processed ! Check presence of FFMPEG.EXE !\n";

// Half a second of a 440 Hz sine in both channels, as a 24-bit WAV whose low bytes are 0: the
// converter takes it to 16 bits by dropping them, so the engine is given these very samples
// whatever the converter's build.
std::string exactTone() {
  std::string samples;
  for (int frame = 0; frame < 22050; ++frame) {
    const double phase = 2.0 * std::numbers::pi * 440.0 * frame / 44100.0;
    const auto value = static_cast<std::uint16_t>(std::lround(4096.0 * std::sin(phase)));
    for (int channel = 0; channel < 2; ++channel) {
      samples.push_back('\0');
      wav_testing::appendLe16(samples, value);
    }
  }
  return wav_testing::plainWav(2, 44100, samples, 24);
}

// The lines of text that open a step, in order.
std::vector<std::string> stepLines(const std::string& text) {
  std::vector<std::string> steps;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("Step ")) steps.push_back(line);
  }
  return steps;
}

ChildOutcome exited(int status) { return ChildOutcome{true, true, status}; }

// Makes the PATH of the test process hold only an empty folder, and puts it back afterwards.
class PathWithoutPrograms {
 public:
  PathWithoutPrograms() {
    if (const char* path = std::getenv("PATH")) previous_ = path;
    ::setenv("PATH", empty_.path().c_str(), 1);
  }
  ~PathWithoutPrograms() {
    if (previous_) ::setenv("PATH", previous_->c_str(), 1);
  }

 private:
  TempFolder empty_;
  std::optional<std::string> previous_;
};

class Pipeline : public ::testing::Test {
 protected:
  Pipeline() : work_(workFolder_.path()) {
    fs::create_directory(music());
    window_.logBox = true;
  }
  ~Pipeline() override { engine::releaseSampleBuffer(job_.track.buffer); }

  std::string music() const { return root_ / "Music"; }
  std::string output() const { return music() + "/sonbalanced/"; }
  std::string log() const { return readFile(workFolder_ / batch::kProcessLogName); }

  void runJob(batch::JobMode mode, const std::string& path) {
    ASSERT_TRUE(batch::startJob(job_, window_, mode, batch::fromNativePath(path)));
    for (int tick = 0; job_.running && tick < 100; ++tick) batch::timerTick(job_, window_, system_);
    ASSERT_FALSE(job_.running);
  }
  void runFolderJob() { runJob(batch::JobMode::Folder, music()); }
  void runSingleFileJob(const std::string& path) { runJob(batch::JobMode::SingleFile, path); }

  TempFolder workFolder_;
  TempFolder root_;
  WorkingFolder work_;
  batch::JobState job_;
  FakeWindow window_;
  FakeSystemServices system_;
};

TEST_F(Pipeline, ConvertedEntryWithMp3BoxLogsEveryStepInOrder) {
  const std::string source = music() + "/song.wav";
  writeFile(source, exactTone());

  runSingleFileJob(source);

  // The engine's values between the conversion and the save are the engine tests' matter.
  const std::string text = log();
  const std::string untilEngine =
      banner(batch::JobMode::SingleFile, source) + "Parsing " + source +
      "...\n"
      "Type: wav - Step 1: Multimedia file to be pre-processed by ffmpeg...\n" +
      conversionLine(source, output()) + "Audio extraction / conversion successful\n";
  const std::string fromSave = "Step 5: Saving result: \nWAV Saved as " + output() +
                               "song_eq.wav\n\nMP3 re-encoding was requested... OK\n\n";
  ASSERT_TRUE(text.starts_with(untilEngine)) << text;
  const std::size_t save = text.find(fromSave, untilEngine.size());
  ASSERT_NE(save, std::string::npos) << text;
  // The bands of a pure tone lie far apart: two passes.
  EXPECT_EQ(stepLines(text.substr(untilEngine.size(), save - untilEngine.size())),
            (std::vector<std::string>{
                "Step 2: three-band filter and scanning...",
                "Step 3: Setting correction parameters...", "Step 4: Applying corrections...",
                "Step 1: Restarting from previously processed track in first pass...",
                "Step 2: three-band filter and scanning...",
                "Step 3: Setting correction parameters...", "Step 4: Applying corrections..."}))
      << text;
  // The reduction is the encoder's to reach: its build may need it encoded again, lower.
  EXPECT_TRUE(testing_support::isPattern(text.substr(save + fromSave.size()),
                                         "MP3 level lowered by [0-9]+\\.[0-9]{2} dB for a true "
                                         "peak of at most -1\\.0 dBTP\n\n"))
      << text;

  EXPECT_TRUE(fs::is_regular_file(output() + "song_eq.wav"));
  EXPECT_GT(fs::file_size(output() + "song.mp3"), 0u);
  // The converter wrote into the job's private folder, which went with the job.
  const std::string converted = system_.children[0].back();
  EXPECT_TRUE(converted.starts_with(output() + batch::kWorkFolderPrefix)) << converted;
  EXPECT_TRUE(converted.ends_with("/TMPOUT.WAV")) << converted;
  EXPECT_FALSE(fs::exists(fs::path(converted).parent_path()));
  // The two results and the record of what they were made from.
  EXPECT_EQ(std::distance(fs::directory_iterator(output()), fs::directory_iterator()), 3);
  std::vector<std::string> calls = system_.calls;
  const std::vector<std::string> encodingAgain = {"run FFMPEG", "read ffmpeg"};
  while (calls.size() > 5 && std::equal(encodingAgain.begin(), encodingAgain.end(), calls.end() - 3)) {
    calls.erase(calls.end() - 3, calls.end() - 1);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"delete " + converted, "run ffmpeg", "run FFMPEG",
                                             "read ffmpeg", "delete " + converted}));
  EXPECT_EQ(window_.stateText, "DONE !");
  EXPECT_EQ(window_.beeps, 0);
  EXPECT_EQ(window_.currentFileText,
            source.size() > 44 ? "..." + source.substr(source.size() - 45) : source);
}

TEST_F(Pipeline, OneConvertedEntryMovesTheWindowInItsFixedSteps) {
  ASSERT_TRUE(makeTone(music() + "/a.ogg", {"-acodec", "libvorbis"}));
  writeFile(music() + "/b.txt", "not music");
  window_.logBox = false;
  window_.mp3Box = false;
  runSingleFileJob(music() + "/a.ogg");

  // Between 25 and the end the engine moves the file gauge itself while it scans.
  const std::string shown = window_.currentFileText.utf8_string();
  const std::vector<std::string> untilEngine = {"stateText RUNNING",   "startTimer 150",
                                                "fileGauge 0",         "stopTimer",
                                                "fileGaugeStep 0 30",  "currentFileText " + shown,
                                                "fileGaugeStep 5 100", "fileGaugeStep 25 100"};
  const std::vector<std::string> end = {"globalGauge 100", "fileGauge 100", "stateText DONE !"};
  ASSERT_GE(window_.events.size(), untilEngine.size() + end.size());
  EXPECT_EQ(
      std::vector<std::string>(window_.events.begin(), window_.events.begin() + untilEngine.size()),
      untilEngine);
  EXPECT_EQ(std::vector<std::string>(window_.events.end() - end.size(), window_.events.end()), end);
  EXPECT_TRUE(fs::is_regular_file(output() + "a_eq.wav"));
  EXPECT_FALSE(fs::exists(output() + "a.mp3"));
  EXPECT_FALSE(fs::exists(workFolder_ / batch::kProcessLogName));
}

TEST_F(Pipeline, DirectWavIsNeitherConvertedNorDeleted) {
  const std::string source = music() + "/take.wav";
  ASSERT_TRUE(makeTone(source, kPcmWav));

  runSingleFileJob(source);

  const std::string text = log();
  EXPECT_NE(
      text.find("Parsing " + source +
                "...\n"
                "Type: wav - Step 1: WAV file to be directly processed...  Opened - File length: " +
                std::to_string(fs::file_size(source)) + "\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("WAV Saved as " + output() +
                      "take_eq.wav\n\nMP3 re-encoding was requested... OK\n\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(system_.calls, (std::vector<std::string>{"run FFMPEG", "read ffmpeg"}));
  EXPECT_TRUE(fs::is_regular_file(output() + "take.mp3"));
  EXPECT_EQ(window_.stateText, "DONE !");
}

// A WAV of its header and audio alone cannot hold tags: it is not probed for them.
TEST_F(Pipeline, WavOfAudioAloneIsNotProbedForTags) {
  const std::string source = music() + "/bare.wav";
  std::vector<std::string> bare = kPcmWav;
  bare.insert(bare.end(), {"-fflags", "+bitexact"});
  ASSERT_TRUE(makeTone(source, bare));

  runSingleFileJob(source);

  EXPECT_EQ(system_.calls, (std::vector<std::string>{"run FFMPEG", "read ffmpeg"})) << log();
  EXPECT_TRUE(fs::is_regular_file(output() + "bare.mp3"));
}

TEST_F(Pipeline, WavThatIsNotSixteenBitPcmGoesThroughTheConverter) {
  const std::string source = music() + "/float.wav";
  ASSERT_TRUE(makeTone(source, {"-acodec", "pcm_f32le", "-f", "wav"}));
  window_.mp3Box = false;

  runSingleFileJob(source);

  EXPECT_NE(
      log().find("Type: wav - Step 1: Multimedia file to be pre-processed by ffmpeg...\n" +
                 conversionLine(source, output()) + "Audio extraction / conversion successful\n"),
      std::string::npos)
      << log();
  EXPECT_TRUE(fs::is_regular_file(output() + "float_eq.wav"));
  EXPECT_FALSE(fs::exists(output() + "TMPOUT.WAV"));
}

TEST_F(Pipeline, NonMediaEntryOnlyLogsItsTypeAndKeepsTheShownName) {
  const std::string source = music() + "/notes.txt";
  writeFile(source, "not music");

  runSingleFileJob(source);

  EXPECT_EQ(log(), banner(batch::JobMode::SingleFile, source) + "Parsing " + source +
                       "...\nType: txt - Not a multimedia file - Ignored\n\n"
                       "\nERROR: No multimedia file in this folder !\n");
  EXPECT_EQ(window_.currentFileText, "FILE IN PROCESS");
  EXPECT_EQ(window_.stateText, "READY");
  EXPECT_EQ(window_.events.back(), "beep 750 300");
  EXPECT_TRUE(system_.calls.empty());
}

TEST_F(Pipeline, OnlyTheLastThreeCharactersCountWhateverTheirCase) {
  // trackmp3 has no dot; A.MP3 and B.Wav are upper- and mixed-case; c.mp3x is not media.
  ASSERT_TRUE(makeTone(music() + "/trackmp3", kMp3));
  writeFile(music() + "/A.MP3", "junk");
  writeFile(music() + "/B.Wav", "junk");
  writeFile(music() + "/c.mp3x", "junk");
  system_.onRunChild = [](const std::vector<std::string>& arguments) {
    return arguments[kConvertedSource].ends_with("trackmp3") ? platform::runChildAndWait(arguments)
                                              : ChildOutcome{};
  };
  window_.mp3Box = false;

  runFolderJob();

  const std::string text = log();
  EXPECT_NE(text.find("Parsing " + music() +
                      "/trackmp3...\n"
                      "Type: mp3 - Step 1: Multimedia file to be pre-processed by ffmpeg...\n"),
            std::string::npos);
  EXPECT_NE(text.find("Parsing " + music() +
                      "/A.MP3...\n"
                      "Type: mp3 - Step 1: Multimedia file to be pre-processed by ffmpeg...\n"),
            std::string::npos);
  EXPECT_NE(text.find("Parsing " + music() +
                      "/B.Wav...\n"
                      "Type: wav - Step 1: WAV file to be directly processed...  "),
            std::string::npos);
  EXPECT_NE(text.find("Parsing " + music() +
                      "/c.mp3x...\nType: p3x - Not a multimedia file - Ignored\n\n"),
            std::string::npos);
  // The result name replaces the last four characters, whatever they are.
  EXPECT_TRUE(fs::is_regular_file(output() + "trac_eq.wav"));
}

TEST_F(Pipeline, WithoutTheConverterEveryEntryFailsAndTheJobEndsReady) {
  writeFile(music() + "/a.mp3", "x");
  writeFile(music() + "/b.mp4", "x");
  PathWithoutPrograms noConverter;

  runFolderJob();

  const std::string text = log();
  for (const std::string name : {"a.mp3", "b.mp4"}) {
    const std::string source = music() + "/" + name;
    EXPECT_NE(text.find("Parsing " + source + "...\nType: " + name.substr(2) +
                        " - Step 1: Multimedia file to be pre-processed by ffmpeg...\n" +
                        conversionLine(source, output()) + kExtractionFailed),
              std::string::npos)
        << text;
  }
  EXPECT_TRUE(text.ends_with(std::string(kExtractionFailed) + kNoEngineReached)) << text;
  EXPECT_EQ(window_.stateText, "READY");
  EXPECT_EQ(window_.beeps, 1);
  EXPECT_EQ(window_.events.back(), "beep 750 300");
}

TEST_F(Pipeline, SourceTheConverterRejectsLeavesNoTemporaryFile) {
  const std::string source = music() + "/broken.mp3";
  writeFile(source, std::string(4000, 'x'));

  runSingleFileJob(source);

  EXPECT_EQ(log(),
            banner(batch::JobMode::SingleFile, source) + "Parsing " + source +
                "...\nType: mp3 - Step 1: Multimedia file to be pre-processed by ffmpeg...\n" +
                conversionLine(source, output()) + kExtractionFailed + kNoEngineReached);
  EXPECT_FALSE(fs::exists(output() + "TMPOUT.WAV"));
  EXPECT_EQ(window_.stateText, "READY");
}

TEST_F(Pipeline, FailedConversionRemovesWhatItWroteAndSkipsTheEntry) {
  const std::string source = music() + "/a.mp3";
  writeFile(source, "x");
  std::string converted;
  system_.onRunChild = [&converted](const std::vector<std::string>& arguments) {
    converted = arguments.back();
    writeFile(converted, std::string(5000, '\1'));
    return exited(1);
  };

  runSingleFileJob(source);

  EXPECT_TRUE(
      log().ends_with(conversionLine(source, output()) + kExtractionFailed + kNoEngineReached));
  EXPECT_FALSE(fs::exists(converted));
  EXPECT_FALSE(job_.engineReached);
}

TEST_F(Pipeline, TemporaryFileWithoutUsableAudioNeverReachesTheEngine) {
  const std::string source = music() + "/a.mp3";
  writeFile(source, "x");
  const std::pair<std::uint64_t, std::string> cases[] = {
      {4, "ERROR: Temporary file TMPOUT.WAV holds no audio ! This file will not be processed.\n\n"},
      {44 + 0x100000000ull,  // sparse: costs no disk
       "ERROR: Temporary file TMPOUT.WAV is too long (4 GiB or more) ! This file will not be "
       "processed.\n\n"}};
  for (const auto& [length, line] : cases) {
    std::string converted;
    system_.onRunChild = [length = length, &converted](const std::vector<std::string>& arguments) {
      converted = arguments.back();
      writeFile(arguments.back(), "RIFF");
      fs::resize_file(arguments.back(), length);
      return exited(0);
    };

    runSingleFileJob(source);

    EXPECT_TRUE(log().ends_with(conversionLine(source, output()) +
                                "Audio extraction / conversion successful\n" + line +
                                kNoEngineReached))
        << log();
    EXPECT_FALSE(fs::exists(converted));
    EXPECT_EQ(window_.stateText, "READY");
  }
}

TEST_F(Pipeline, TemporaryFileGoneAfterConversionIsReported) {
  const std::string source = music() + "/a.mp3";
  writeFile(source, "x");
  system_.onRunChild = [](const std::vector<std::string>&) { return exited(0); };

  runSingleFileJob(source);

  EXPECT_TRUE(
      log().ends_with("Audio extraction / conversion successful\n"
                      "ERROR: Temporary file TMPOUT.WAV was deleted by another process !\n\n" +
                      std::string(kNoEngineReached)));
}

TEST_F(Pipeline, GlobalGaugeShowsTheShareOfEntriesDone) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) writeFile(music() + "/" + name, "x");
  runFolderJob();
  EXPECT_EQ(window_.globalGaugeValues, (std::vector<int>{33, 66, 100}));
  EXPECT_EQ(window_.fileGauge, 100);
  EXPECT_FALSE(window_.timerRunning);
}

TEST_F(Pipeline, TickWithoutARunningJobOnlyStopsTheTimer) {
  batch::timerTick(job_, window_, system_);
  EXPECT_EQ(window_.events, (std::vector<std::string>{"stopTimer"}));
}

TEST_F(Pipeline, LongPathsAreShownByTheirLastFortyFiveCharacters) {
  system_.onRunChild = [](const std::vector<std::string>&) { return ChildOutcome{}; };
  const std::string folder = music() + "/";
  if (folder.size() + 4 >= 44) GTEST_SKIP() << "temporary folder path too long for this test";
  std::vector<std::string> shown;
  for (const std::size_t length : {44u, 45u, 60u}) {
    const std::string source = folder + std::string(length - folder.size() - 4, 'n') + ".mp4";
    ASSERT_EQ(source.size(), length);
    writeFile(source, "x");
    window_.events.clear();
    runSingleFileJob(source);
    shown.push_back(window_.currentFileText.utf8_string());
    fs::remove(source);
    job_.running = false;
  }
  const std::string path60 = folder + std::string(60 - folder.size() - 4, 'n') + ".mp4";
  EXPECT_EQ(shown[0], folder + std::string(44 - folder.size() - 4, 'n') + ".mp4");
  EXPECT_EQ(shown[1], "..." + folder + std::string(45 - folder.size() - 4, 'n') + ".mp4");
  EXPECT_EQ(shown[2], "..." + path60.substr(15));
  EXPECT_EQ(shown[2].size(), 48u);
}

TEST_F(Pipeline, Mp3At192kIsAskedForWhenThatBoxIsTicked) {
  const std::string source = music() + "/song.ogg";
  ASSERT_TRUE(makeTone(source, {"-acodec", "libvorbis"}));
  window_.mp3At192kBox = true;

  runSingleFileJob(source);

  ASSERT_EQ(system_.children.size(), 2u);
  const std::vector<std::string>& encoding = system_.children[1];
  ASSERT_GE(encoding.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(encoding.begin(), encoding.begin() + 3),
            (std::vector<std::string>{"FFMPEG", "-i", output() + "song_eq.wav"}));
  EXPECT_EQ(std::vector<std::string>(encoding.end() - 5, encoding.end() - 1),
            (std::vector<std::string>{"-f", "mp3", "-ab", "192k"}));
  // Encoded under a short temporary name in the output folder, renamed once whole.
  EXPECT_TRUE(encoding.back().starts_with(output() + ".sonbalancer-")) << encoding.back();
  EXPECT_TRUE(encoding.back().ends_with(".mp3.part")) << encoding.back();
  EXPECT_TRUE(fs::is_regular_file(output() + "song.mp3"));
  EXPECT_TRUE(fs::is_regular_file(output() + "song_eq.wav"));
}

TEST_F(Pipeline, PathWithBlanksQuotesAndAccentsReachesTheConverterWhole) {
  const std::string folder = root_ / "My \"Best\" Müsik";
  fs::create_directory(folder);
  const std::string source = folder + "/Ça va  bien.mp3";
  ASSERT_TRUE(makeTone(source, kMp3));

  runSingleFileJob(source);

  const std::string outputFolder = folder + "/sonbalanced/";
  EXPECT_NE(log().find(conversionLine(source, outputFolder) +
                       "Audio extraction / conversion successful\n"),
            std::string::npos)
      << log();
  EXPECT_EQ(system_.children[0][kConvertedSource], source);
  EXPECT_TRUE(fs::is_regular_file(outputFolder + "Ça va  bien_eq.wav"));
  EXPECT_TRUE(fs::is_regular_file(outputFolder + "Ça va  bien.mp3"));
  EXPECT_FALSE(fs::exists(outputFolder + "TMPOUT.WAV"));
}

TEST_F(Pipeline, UndeletableTemporaryFileIsReportedWithItsCause) {
  const std::string source = music() + "/a.ogg";
  ASSERT_TRUE(makeTone(source, {"-acodec", "libvorbis"}));
  window_.mp3Box = false;
  for (const auto& [outcome, cause] : {std::pair{DeleteOutcome::AccessDenied, "Access Denied"},
                                       std::pair{DeleteOutcome::OtherFailure, "Not present"}}) {
    // The removal before the conversion is real; the one after the engine fails as scripted.
    bool converted = false;
    system_.onRunChild = [&converted](const std::vector<std::string>& arguments) {
      converted = true;
      return platform::runChildAndWait(arguments);
    };
    system_.onDeleteFile = [&converted, outcome = outcome](const std::string& path) {
      return converted ? outcome : platform::deleteFile(path);
    };
    runSingleFileJob(source);
    job_.running = false;
    EXPECT_TRUE(log().ends_with("WAV Saved as " + output() + "a_eq.wav\n\nUnable to delete " +
                                output() + "TMPOUT.WAV !\nCause: " + cause + "\n\n"))
        << log();
    EXPECT_EQ(window_.stateText, "DONE !");
  }
}

TEST_F(Pipeline, StaleTemporaryFileIsRemovedBeforeTheConversion) {
  const std::string source = music() + "/a.ogg";
  ASSERT_TRUE(makeTone(source, {"-acodec", "libvorbis"}, 0.5, 440));
  fs::create_directory(output());
  // A converted track of another tune, left behind by an interrupted run.
  ASSERT_TRUE(makeTone(output() + "TMPOUT.WAV", kPcmWav, 2.0, 1000));
  bool staleSeenByConverter = true;
  system_.onRunChild = [&](const std::vector<std::string>& arguments) {
    if (arguments[0] == "ffmpeg") staleSeenByConverter = fs::exists(output() + "TMPOUT.WAV");
    return platform::runChildAndWait(arguments);
  };
  window_.mp3Box = false;

  runSingleFileJob(source);

  EXPECT_FALSE(staleSeenByConverter);
  EXPECT_NE(log().find("Audio extraction / conversion successful\n"), std::string::npos);
  // Half a second of audio, not the stale two seconds.
  EXPECT_LT(fs::file_size(output() + "a_eq.wav"), 44u + 176400u);
  EXPECT_FALSE(fs::exists(output() + "TMPOUT.WAV"));
}

TEST_F(Pipeline, StaleMp3TargetIsReplacedByTheNewEncoding) {
  const std::string source = music() + "/a.ogg";
  ASSERT_TRUE(makeTone(source, {"-acodec", "libvorbis"}));
  fs::create_directory(output());
  writeFile(output() + "a.mp3", "stale");

  runSingleFileJob(source);

  EXPECT_NE(log().find("MP3 re-encoding was requested... OK\n\n"), std::string::npos) << log();
  EXPECT_NE(readFile(output() + "a.mp3"), "stale");
  EXPECT_GT(fs::file_size(output() + "a.mp3"), 1000u);
}

TEST_F(Pipeline, Mp3ChildThatFailsIsNeverReportedOk) {
  const std::string source = music() + "/a.ogg";
  ASSERT_TRUE(makeTone(source, {"-acodec", "libvorbis"}));
  for (const ChildOutcome failure : {ChildOutcome{}, exited(1)}) {
    system_.onRunChild = [failure](const std::vector<std::string>& arguments) {
      return arguments[0] == "FFMPEG" ? failure : platform::runChildAndWait(arguments);
    };
    runSingleFileJob(source);
    job_.running = false;
    EXPECT_TRUE(
        log().ends_with("MP3 re-encoding was requested... Failed ! This should not happen...\n\n"))
        << log();
  }
}

TEST_F(Pipeline, TrackThatCannotBeSavedCostsOnlyItsOwnMp3) {
  ASSERT_TRUE(makeTone(music() + "/a.ogg", {"-acodec", "libvorbis"}));
  ASSERT_TRUE(makeTone(music() + "/b.ogg", {"-acodec", "libvorbis"}));
  fs::create_directories(output() + "a_eq.wav");  // a folder where a's result should go

  runFolderJob();

  const std::string text = log();
  EXPECT_NE(text.find("Could not write " + output() + "a_eq.wav !\n\n"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(output() + "a.mp3"));
  EXPECT_TRUE(fs::is_regular_file(output() + "b_eq.wav"));
  EXPECT_TRUE(fs::is_regular_file(output() + "b.mp3"));
  EXPECT_NE(
      text.find("WAV Saved as " + output() + "b_eq.wav\n\nMP3 re-encoding was requested... OK\n\n"),
      std::string::npos)
      << text;
  EXPECT_TRUE(job_.mp3Requested);
}

TEST_F(Pipeline, Mp3RateBoxIsReadAtEachEntry) {
  ASSERT_TRUE(makeTone(music() + "/a.ogg", {"-acodec", "libvorbis"}));
  ASSERT_TRUE(makeTone(music() + "/b.ogg", {"-acodec", "libvorbis"}));
  std::vector<std::string> bitRates;
  system_.onRunChild = [&](const std::vector<std::string>& arguments) {
    if (arguments[0] == "FFMPEG") {
      bitRates.push_back(arguments[arguments.size() - 2]);
      window_.mp3At192kBox = true;
    }
    return platform::runChildAndWait(arguments);
  };

  runFolderJob();

  EXPECT_EQ(bitRates, (std::vector<std::string>{"128k", "192k"}));
}

TEST_F(Pipeline, FolderWhereOnlyTheWavReachesTheEngineIsDone) {
  writeFile(music() + "/a.mp3", "x");
  ASSERT_TRUE(makeTone(music() + "/b.wav", kPcmWav));
  system_.onRunChild = [](const std::vector<std::string>& arguments) {
    return arguments[0] == "ffmpeg" ? exited(1) : platform::runChildAndWait(arguments);
  };

  runFolderJob();

  EXPECT_EQ(window_.stateText, "DONE !");
  EXPECT_EQ(window_.beeps, 0);
  EXPECT_NE(log().find(kExtractionFailed), std::string::npos);
  EXPECT_EQ(log().find("ERROR: File extractions"), std::string::npos);
}

// ---- Nothing lost, nothing reported done that is not

TEST_F(Pipeline, PlaylistPosingAsMediaNeverReadsTheFileItNames) {
  ASSERT_TRUE(makeTone(root_ / "other.mp3", kMp3));
  const std::string source = music() + "/x.mp3";
  writeFile(source, "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n" + (root_ / "other.mp3") +
                        "\n#EXT-X-ENDLIST\n");

  runSingleFileJob(source);

  EXPECT_TRUE(log().ends_with(conversionLine(source, output()) + kExtractionFailed +
                              kNoEngineReached))
      << log();
  EXPECT_FALSE(fs::exists(output()));
  EXPECT_EQ(window_.notices, (std::vector<std::string>{source + ": its audio could not be extracted"}));
}

TEST_F(Pipeline, EntriesThatAreNotRegularFilesAreSkippedUnopened) {
  ASSERT_EQ(::mkfifo((music() + "/a.wav").c_str(), 0644), 0);
  fs::create_symlink("/dev/urandom", music() + "/b.mp3");
  ASSERT_TRUE(makeTone(root_ / "real.ogg", {"-acodec", "libvorbis"}));
  fs::create_symlink(root_ / "real.ogg", music() + "/c.ogg");
  window_.mp3Box = false;

  runFolderJob();

  const std::string skipped = " - Not a regular file (a folder, a device or a pipe) - Ignored\n\n";
  EXPECT_NE(log().find("a.wav...\nType: wav" + skipped), std::string::npos) << log();
  EXPECT_NE(log().find("b.mp3...\nType: mp3" + skipped), std::string::npos) << log();
  EXPECT_TRUE(fs::is_regular_file(output() + "c_eq.wav"));
  EXPECT_EQ(window_.notices, (std::vector<std::string>{music() + "/a.wav: not a regular file",
                                                       music() + "/b.mp3: not a regular file"}));
  EXPECT_EQ(job_.counts.processed, 1u);
  EXPECT_EQ(job_.counts.skippedForFault, 2u);
}

TEST_F(Pipeline, SameNameSourcesKeepAllTheirResultsInNameOrder) {
  ASSERT_TRUE(makeTone(music() + "/a.wav", kPcmWav, 0.5, 300));
  ASSERT_TRUE(makeTone(music() + "/a.ogg", {"-acodec", "libvorbis"}, 0.5, 500));
  ASSERT_TRUE(makeTone(music() + "/a.mp3", kMp3, 0.5, 700));

  runFolderJob();

  const std::string text = log();
  const std::size_t mp3 = text.find("Parsing " + music() + "/a.mp3");
  const std::size_t ogg = text.find("Parsing " + music() + "/a.ogg");
  const std::size_t wav = text.find("Parsing " + music() + "/a.wav");
  EXPECT_LT(mp3, ogg);
  EXPECT_LT(ogg, wav);
  EXPECT_EQ(text.find("An earlier file of this job has the same name"),
            text.find("An earlier file of this job has the same name: results named a (ogg)_eq.wav\n"));
  EXPECT_NE(text.find("same name: results named a (wav)_eq.wav\n"), std::string::npos) << text;
  for (const std::string name : {"a", "a (ogg)", "a (wav)"}) {
    EXPECT_TRUE(fs::is_regular_file(output() + name + "_eq.wav")) << name;
    EXPECT_GT(fs::file_size(output() + name + ".mp3"), 1000u) << name;
  }
  EXPECT_EQ(job_.counts.processed, 3u);
}

// The encoder meets a full disk through a file-size limit of its own, as a real disk would
// stop it, whatever status it then exits with.
TEST_F(Pipeline, TruncatedMp3IsRemovedAndReportedFailed) {
  const std::string source = music() + "/long.ogg";
  ASSERT_TRUE(makeTone(source, {"-acodec", "libvorbis"}, 4.0));
  fs::create_directory(output());
  writeFile(output() + "long.mp3", "an earlier encoding");
  system_.onRunChild = [](const std::vector<std::string>& arguments) {
    if (arguments[0] != "FFMPEG") return platform::runChildAndWait(arguments);
    std::vector<std::string> limited = {"sh", "-c", "trap '' XFSZ; ulimit -f 40; exec ffmpeg \"$@\"",
                                        "sh"};
    limited.insert(limited.end(), arguments.begin() + 1, arguments.end());
    return platform::runChildAndWait(limited);
  };

  runSingleFileJob(source);

  EXPECT_TRUE(
      log().ends_with("MP3 re-encoding was requested... Failed ! This should not happen...\n\n"))
      << log();
  EXPECT_EQ(readFile(output() + "long.mp3"), "an earlier encoding");
  EXPECT_EQ(fs::directory_iterator(output()) == fs::directory_iterator(), false);
  for (const auto& entry : fs::directory_iterator(output())) {
    EXPECT_FALSE(entry.path().string().ends_with(".part")) << entry.path();
  }
  EXPECT_EQ(job_.counts.failed, 1u);
  EXPECT_EQ(window_.stateText, "DONE !");  // its WAV was saved
}

TEST_F(Pipeline, JobThatSavedNothingIsNotDoneAndLeavesNoEmptyFolder) {
  ASSERT_TRUE(makeTone(music() + "/a.wav", kPcmWav));
  fs::create_directory(output());
  fs::create_directories(output() + "a_eq.wav/occupied");

  runFolderJob();

  EXPECT_EQ(window_.stateText, "READY");
  EXPECT_EQ(window_.beeps, 1);
  EXPECT_TRUE(fs::is_directory(output()));  // it was there before the job

  fs::remove_all(output());
  writeFile(music() + "/a.wav", "RIFF but nothing else");
  runFolderJob();
  EXPECT_FALSE(fs::exists(output()));
}

TEST_F(Pipeline, OutputFolderHeldByAnotherJobIsLeftUntouched) {
  ASSERT_TRUE(makeTone(music() + "/a.ogg", {"-acodec", "libvorbis"}));
  fs::create_directory(output());
  writeFile(output() + "TMPOUT.WAV", "the other job's audio");
  platform::FolderLock otherJob;
  ASSERT_EQ(otherJob.acquire(output()), platform::FolderLock::Outcome::Held);

  runFolderJob();

  EXPECT_NE(log().find("Type: ogg - Output folder in use by another job - Not processed\n\n"),
            std::string::npos)
      << log();
  EXPECT_EQ(readFile(output() + "TMPOUT.WAV"), "the other job's audio");
  EXPECT_FALSE(fs::exists(output() + "a_eq.wav"));
  EXPECT_TRUE(system_.calls.empty());
  EXPECT_EQ(window_.stateText, "BUSY");
  EXPECT_EQ(window_.notices,
            (std::vector<std::string>{music() + "/a.ogg: its output folder is in use by another job"}));
}

TEST_F(Pipeline, OutputFolderThatIsALinkIsRefused) {
  ASSERT_TRUE(makeTone(music() + "/a.wav", kPcmWav));
  const std::string elsewhere = root_ / "elsewhere";
  fs::create_directory(elsewhere);
  writeFile(elsewhere + "/a_eq.wav", "not ours");
  fs::create_directory_symlink(elsewhere, music() + "/sonbalanced");

  runFolderJob();

  EXPECT_NE(log().find("Output folder is not a folder of its own - Not processed\n\n"),
            std::string::npos);
  EXPECT_EQ(readFile(elsewhere + "/a_eq.wav"), "not ours");
  EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()), 1);
}

// Two jobs in one folder would share the converter's output and delete each other's files.
TEST_F(Pipeline, OutputFolderWhoseLockCannotBeTakenIsNotProcessed) {
  ASSERT_TRUE(makeTone(music() + "/a.wav", kPcmWav));
  const std::string lock = output() + platform::kFolderLockName;
  const std::string elsewhere = root_ / "elsewhere";
  std::vector<std::function<void()>> plants = {[&] { fs::create_directory(lock); },
                                               [&] { fs::create_symlink(elsewhere, lock); }};
  if (testing_support::runningAsRoot()) {
    // Another user's lock, left by a killed job of theirs.
    plants.push_back([&] {
      writeFile(lock, "");
      ::chown(lock.c_str(), testing_support::nobodyUid(), -1);
    });
  }
  for (const auto& plant : plants) {
    fs::remove_all(output());
    fs::create_directory(output());
    plant();
    window_.notices.clear();

    runFolderJob();

    EXPECT_NE(log().find("Type: wav - Output folder cannot be locked - Not processed\n\n"),
              std::string::npos)
        << log();
    EXPECT_EQ(window_.notices,
              (std::vector<std::string>{music() + "/a.wav: its output folder could not be made or "
                                                  "locked (.sonbalancer.lock)"}));
    EXPECT_EQ(job_.counts.skippedForFault, 1u);
    EXPECT_EQ(window_.stateText, "READY");
    EXPECT_EQ(std::distance(fs::directory_iterator(output()), fs::directory_iterator()), 1);
    EXPECT_FALSE(fs::exists(elsewhere));
  }
}

TEST_F(Pipeline, OutputFolderOfAnotherUserOrOpenToTheirFilesIsRefused) {
  if (!testing_support::runningAsRoot()) GTEST_SKIP() << "another user's files need root";
  ASSERT_TRUE(makeTone(music() + "/a.wav", kPcmWav));
  window_.mp3Box = false;
  fs::create_directory(output());
  fs::permissions(output(), fs::perms::all);
  writeFile(output() + "theirs", "");
  // Open to all, but all of it ours: written into.
  runFolderJob();
  EXPECT_TRUE(fs::is_regular_file(output() + "a_eq.wav")) << log();
  fs::remove(output() + "a_eq.wav");
  fs::remove(output() + batch::kResultManifestName);

  const std::string reason[] = {
      "others may write into its output folder (no sticky bit), which "
      "holds their files",
      "its output folder belongs to another user"};
  const std::string line[] = {"Output folder is open to other users' files - Not processed\n\n",
                              "Output folder belongs to another user - Not processed\n\n"};
  ASSERT_EQ(::chown((output() + "theirs").c_str(), testing_support::nobodyUid(), -1), 0);
  for (int refusal = 0; refusal < 2; ++refusal) {
    if (refusal == 1) {
      ASSERT_EQ(::chown(output().c_str(), testing_support::nobodyUid(), -1), 0);
    }
    window_.notices.clear();
    runFolderJob();
    EXPECT_NE(log().find("Type: wav - " + line[refusal]), std::string::npos) << log();
    EXPECT_EQ(window_.notices, (std::vector<std::string>{music() + "/a.wav: " + reason[refusal]}));
    EXPECT_EQ(std::distance(fs::directory_iterator(output()), fs::directory_iterator()), 1);
  }
}

TEST_F(Pipeline, LogNameThatIsALinkIsPassedOverAndItsTargetKept) {
  const std::string target = root_ / "precious.txt";
  writeFile(target, "not a log");
  fs::create_symlink(target, workFolder_ / batch::kProcessLogName);
  writeFile(music() + "/notes.txt", "x");

  runFolderJob();

  EXPECT_EQ(readFile(target), "not a log");
  EXPECT_TRUE(readFile(workFolder_ / "sonbalancer-log-2.txt")
                  .starts_with(banner(batch::JobMode::Folder, music())));
  EXPECT_EQ(window_.notices,
            (std::vector<std::string>{"sonbalancer-log.txt is a link or not a file of this "
                                      "user's own, and is left alone: this job's log is "
                                      "sonbalancer-log-2.txt"}));
}

TEST_F(Pipeline, SecondJobLogsUnderTheNextFreeName) {
  platform::LockedLogFile otherJobsLog;
  ASSERT_TRUE(otherJobsLog.open(workFolder_ / batch::kProcessLogName));
  std::fputs("the other job's lines\n", otherJobsLog.stream());
  std::fflush(otherJobsLog.stream());
  writeFile(music() + "/notes.txt", "x");

  runFolderJob();

  EXPECT_EQ(log(), "the other job's lines\n");
  EXPECT_TRUE(readFile(workFolder_ / "sonbalancer-log-2.txt")
                  .starts_with(banner(batch::JobMode::Folder, music())));
  EXPECT_EQ(window_.notices, (std::vector<std::string>{"another job is writing sonbalancer-log.txt: "
                                                       "this job's log is sonbalancer-log-2.txt"}));
}

TEST_F(Pipeline, LongestBaseNameIsSavedThroughAShortTemporaryName) {
  const std::string base(246, 'n');
  ASSERT_TRUE(makeTone(music() + "/" + base + ".wav", kPcmWav));

  runFolderJob();

  EXPECT_TRUE(fs::is_regular_file(output() + base + "_eq.wav")) << log();
  EXPECT_TRUE(fs::is_regular_file(output() + base + ".mp3"));
}

TEST_F(Pipeline, StopDuringTheConversionRemovesItsOutputAndEndsTheJob) {
  ASSERT_TRUE(makeTone(music() + "/a.wav", kPcmWav));
  ASSERT_TRUE(makeTone(music() + "/b.ogg", {"-acodec", "libvorbis"}));
  ASSERT_TRUE(makeTone(music() + "/c.ogg", {"-acodec", "libvorbis"}));
  bool stopped = false;
  std::string converted;
  system_.onRunChild = [&](const std::vector<std::string>& arguments) {
    if (arguments[0] != "ffmpeg") return platform::runChildAndWait(arguments);
    converted = arguments.back();
    writeFile(converted, "partial");
    stopped = true;
    ChildOutcome outcome;
    outcome.started = true;
    outcome.interrupted = true;
    return outcome;
  };
  system_.onStopRequested = [&] { return stopped; };

  runFolderJob();

  const std::string text = log();
  EXPECT_NE(text.find("a_eq.wav\n\nMP3 re-encoding was requested... OK\n\n"),
            std::string::npos);
  EXPECT_TRUE(text.ends_with(conversionLine(music() + "/b.ogg", output()) +
                             "\nJOB STOPPED (stop requested): the files not yet processed were "
                             "left as they were.\n"))
      << text;
  EXPECT_EQ(text.find("c.ogg"), std::string::npos);
  EXPECT_FALSE(fs::exists(converted));
  EXPECT_EQ(workFolderIn(output()), "");
  EXPECT_TRUE(fs::is_regular_file(output() + "a.mp3"));
  EXPECT_TRUE(job_.stopped);
  EXPECT_EQ(window_.stateText, "STOPPED");
}

// The engine asks as it walks the track; here the stop comes as soon as it is asked.
TEST_F(Pipeline, StopDuringTheEngineRemovesTheConvertedAudioAndEndsTheJob) {
  ASSERT_TRUE(makeTone(music() + "/b.ogg", {"-acodec", "libvorbis"}));
  system_.onStopRequested = [&] { return window_.fileGauge >= 25; };

  runFolderJob();

  const std::string text = log();
  EXPECT_TRUE(text.ends_with("Audio extraction / conversion successful\n"
                             "\nStep 2: three-band filter and scanning...\n"
                             "\nJOB STOPPED (stop requested): the files not yet processed were "
                             "left as they were.\n"))
      << text;
  EXPECT_EQ(workFolderIn(output()), "");
  EXPECT_FALSE(fs::exists(output() + "b_eq.wav"));
  EXPECT_FALSE(fs::exists(output() + "b.mp3"));
  EXPECT_TRUE(job_.stopped);
}

// ---- The formats of real libraries, and MP3 results that keep the track

// What the prober reads back of a file: its format, streams and tags, as JSON.
nlohmann::json probe(const std::string& path) {
  std::string json;
  platform::runChildReadingOutput(
      {"ffprobe", "-v", "error", "-show_format", "-show_streams", "-of", "json", path},
      [&json](const char* bytes, std::size_t count) {
        json.append(bytes, count);
        return true;
      });
  return nlohmann::json::parse(json, nullptr, false);
}

TEST_F(Pipeline, LibraryFormatsAreConvertedAndNamedWithoutTheirExtension) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> sources = {
      {"Song.FLAC", {}},
      {"b.m4a", {"-acodec", "aac"}},
      {"c.aac", {"-acodec", "aac", "-f", "adts"}},
      {"d.opus", {"-acodec", "libopus"}},
      {"e.aif", {"-f", "aiff"}},
      {"f.aiff", {}},
      {"g.wv", {}}};
  for (const auto& [name, arguments] : sources) ASSERT_TRUE(makeTone(music() + "/" + name, arguments)) << name;
  window_.mp3Box = false;

  runFolderJob();

  for (const auto& [name, arguments] : sources) {
    const std::string base = name.substr(0, name.rfind('.'));
    std::string extension = name.substr(name.rfind('.') + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(log().find(name + "...\nType: " + extension +
                         " - Step 1: Multimedia file to be pre-processed by ffmpeg...\n"),
              std::string::npos)
        << name;
    EXPECT_TRUE(fs::is_regular_file(output() + base + "_eq.wav")) << name << "\n" << log();
  }
  EXPECT_EQ(job_.counts.processed, sources.size());
}

TEST_F(Pipeline, Mp3CarriesTheSourcesTagsAndFrontCoverButNoLoudnessTag) {
  const std::string cover = root_ / "cover.png";
  const std::string plain = root_ / "plain.flac";
  const std::string source = music() + "/Song.flac";
  ASSERT_EQ(platform::runChildAndWait({"ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                       "color=blue:s=32x32", "-frames:v", "1", cover})
                .exitStatus,
            0);
  ASSERT_TRUE(makeTone(plain, {"-metadata", "TITLE=Título", "-metadata", "ARTIST=Band",
                               "-metadata", "ALBUM=Set", "-metadata", "DATE=2004", "-metadata",
                               "BPM=126", "-metadata", "INITIALKEY=11B", "-metadata",
                               "REPLAYGAIN_TRACK_GAIN=-6.0 dB"}));
  ASSERT_EQ(platform::runChildAndWait({"ffmpeg", "-v", "error", "-i", plain, "-i", cover, "-map",
                                       "0", "-map", "1", "-c", "copy", "-disposition:v",
                                       "attached_pic", source})
                .exitStatus,
            0);

  runSingleFileJob(source);

  const std::string mp3 = output() + "Song.mp3";
  EXPECT_EQ(readFile(mp3).substr(0, 4), std::string("ID3\x03", 4));
  const nlohmann::json found = probe(mp3);
  const nlohmann::json tags = found["format"]["tags"];
  EXPECT_EQ(tags.value("title", ""), "Título");
  EXPECT_EQ(tags.value("artist", ""), "Band");
  EXPECT_EQ(tags.value("album", ""), "Set");
  EXPECT_EQ(tags.value("date", ""), "2004");
  EXPECT_EQ(tags.value("TBPM", ""), "126");
  EXPECT_EQ(tags.value("TKEY", ""), "11B");
  for (const auto& [name, value] : tags.items()) {
    EXPECT_EQ(name.find("REPLAYGAIN"), std::string::npos) << name;
  }
  ASSERT_EQ(found["streams"].size(), 2u);
  EXPECT_EQ(found["streams"][1]["disposition"]["attached_pic"], 1);
  EXPECT_EQ(found["streams"][1]["tags"]["comment"], "Cover (front)");
}

TEST_F(Pipeline, VideoOfAVideoSourceNeverEntersTheMp3) {
  const std::string source = music() + "/clip.mp4";
  ASSERT_TRUE(makeTone(source, {"-f", "lavfi", "-i", "testsrc=s=64x64:d=0.5", "-metadata",
                                "title=Clip", "-shortest"}));

  runSingleFileJob(source);

  const nlohmann::json found = probe(output() + "clip.mp3");
  ASSERT_EQ(found["streams"].size(), 1u) << found.dump();
  EXPECT_EQ(found["streams"][0]["codec_type"], "audio");
  EXPECT_EQ(found["format"]["tags"].value("title", ""), "Clip");
}

// A loud, bright track whose result peaks between its samples: its MP3, as a player decodes
// it, stays under the ceiling, measured by the converter's own meter.
TEST_F(Pipeline, LoudTrackGivesAnMp3UnderMinusOneDbtpDecoded) {
  const std::string source = music() + "/loud.wav";
  ASSERT_TRUE(makeTone(source, {"-af", "volume=12dB,aeval=val(0)*0.9+0.1*random(0)", "-acodec",
                                "pcm_s16le", "-f", "wav"}, 3.0, 3000));

  runSingleFileJob(source);

  ASSERT_NE(log().find("MP3 level lowered by "), std::string::npos) << log();
  std::string measured;
  platform::runChildReadingOutput(
      {"sh", "-c",
       "ffmpeg -nostdin -v info -i \"$0\" -af ebur128=peak=true -f null - 2>&1 | grep -A1 'True "
       "peak:' | tail -1",
       output() + "loud.mp3"},
      [&measured](const char* bytes, std::size_t count) {
        measured.append(bytes, count);
        return true;
      });
  const std::size_t number = measured.find_first_of("-0123456789");
  ASSERT_NE(number, std::string::npos) << measured;
  EXPECT_LE(std::stod(measured.substr(number)), -1.0) << measured;
}

}  // namespace
