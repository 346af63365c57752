#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "batch/job_setup.h"
#include "batch/native_path.h"
#include "batch/pipeline.h"
#include "batch/result_names.h"
#include "cli/console_window.h"
#include "cli/run_view.h"
#include "tests/batch/fake_window.h"
#include "tests/support/command_line.h"
#include "tests/support/media_files.h"
#include "tests/support/other_user.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_patterns.h"
#include "tests/support/work_folder.h"

namespace fs = std::filesystem;
using testing_support::FakeWindow;
using testing_support::makeTone;
using testing_support::readFile;
using testing_support::RunningCommand;
using testing_support::TempFolder;
using testing_support::workFolderIn;
using testing_support::WorkingFolder;
using testing_support::writeFile;

namespace {

const std::string kCommand = std::string(SONBALANCER_BINARY_DIR) + "/bin/sonbalancer-cli";

struct CommandResult {
  int exitStatus = -1;
  std::string standardOutput;
  std::string standardError;
};

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs the headless command in folder with the given arguments (already quoted for the shell).
CommandResult runCommand(const fs::path& folder, const std::string& arguments,
                         const std::string& environment = "") {
  TempFolder streams;
  const std::string line = "cd " + shellQuoted(folder.string()) + " && " + environment + " " +
                           shellQuoted(kCommand) + " " + arguments + " >" +
                           shellQuoted(streams / "out") + " 2>" + shellQuoted(streams / "err") +
                           " </dev/null";
  const int status = std::system(line.c_str());
  CommandResult result;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.standardOutput = readFile(streams / "out");
  result.standardError = readFile(streams / "err");
  return result;
}

// Standard error with the summary's time as "H:MM:SS".
std::string withoutTime(const std::string& standardError) {
  return testing_support::replacedPattern(standardError, " in [0-9]+:[0-9]{2}:[0-9]{2}\n",
                                          " in H:MM:SS\n");
}

class HeadlessCommand : public ::testing::Test {
 protected:
  HeadlessCommand() {
    fs::create_directory(music());
    EXPECT_TRUE(makeTone(music() + "/a.ogg", {"-acodec", "libvorbis"}));
    EXPECT_TRUE(makeTone(music() + "/b.wav", {"-acodec", "pcm_s16le", "-f", "wav"}, 0.5, 1000));
    writeFile(music() + "/notes.txt", "not music");
  }

  std::string music() const { return root_ / "Music"; }
  std::string output() const { return music() + "/sonbalanced/"; }

  // The same job through the batch code with the test window, in its own working folder;
  // returns its process log.
  std::string logOfWindowJob(FakeWindow& window) {
    TempFolder work;
    WorkingFolder inWork(work.path());
    batch::JobState job;
    window.logBox = true;
    EXPECT_TRUE(
        batch::startJob(job, window, batch::JobMode::Folder, batch::fromNativePath(music())));
    while (job.running) batch::timerTick(job, window, media::realSystemServices());
    engine::releaseSampleBuffer(job.track.buffer);
    return readFile(work / batch::kProcessLogName);
  }

  TempFolder root_;
};

TEST_F(HeadlessCommand, FolderJobGivesTheLogAndResultsOfTheWindowCode) {
  FakeWindow window;
  const std::string windowLog = logOfWindowJob(window);
  const std::string windowResultA = readFile(output() + "a_eq.wav");
  const std::string windowResultB = readFile(output() + "b_eq.wav");
  ASSERT_FALSE(windowResultA.empty());
  fs::remove_all(output());

  TempFolder work;
  const CommandResult result = runCommand(work.path(), "--jobs 1 --log " + shellQuoted(music()));

  EXPECT_EQ(result.exitStatus, 0) << result.standardError;
  EXPECT_EQ(readFile(work / batch::kProcessLogName), windowLog);
  EXPECT_EQ(readFile(output() + "a_eq.wav"), windowResultA);
  EXPECT_EQ(readFile(output() + "b_eq.wav"), windowResultB);
  EXPECT_GT(fs::file_size(output() + "a.mp3"), 1000u);
  EXPECT_GT(fs::file_size(output() + "b.mp3"), 1000u);
  EXPECT_FALSE(fs::exists(output() + "TMPOUT.WAV"));
  EXPECT_TRUE(result.standardOutput.empty());
  // Not a terminal: a line for each file as it ends, the summary, the window's state text.
  EXPECT_EQ(withoutTime(result.standardError),
            music() + "/a.ogg: processed\n" + music() + "/b.wav: processed\n" + music() +
                "/notes.txt: not music\n"
                "sonbalancer-cli: 2 processed, 0 skipped, 0 failed, 1 not music in H:MM:SS\n"
                "DONE !\n");
}

TEST_F(HeadlessCommand, OptionsActAsTheirCheckBoxes) {
  FakeWindow window;
  window.mp3At192kBox = true;
  window.noBasslineBox = true;
  window.ignoreClicksBox = true;
  const std::string windowLog = logOfWindowJob(window);
  const std::string windowMp3 = readFile(output() + "a.mp3");
  fs::remove_all(output());

  TempFolder work;
  const CommandResult result = runCommand(
      work.path(), "-j 1 --log --mp3-192k --no-bassline --ignore-clicks " + shellQuoted(music()));

  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(readFile(work / batch::kProcessLogName), windowLog);
  EXPECT_EQ(readFile(output() + "a.mp3"), windowMp3);

  fs::remove_all(output());
  EXPECT_EQ(runCommand(work.path(), "--no-mp3 " + shellQuoted(music())).exitStatus, 0);
  EXPECT_TRUE(fs::exists(output() + "a_eq.wav"));
  EXPECT_FALSE(fs::exists(output() + "a.mp3"));
}

TEST_F(HeadlessCommand, RelativeSingleFileWritesBesideTheFileAndNoLogUnlessAsked) {
  const CommandResult result = runCommand(root_.path(), "--no-mp3 ./Music/b.wav");
  EXPECT_EQ(result.exitStatus, 0) << result.standardError;
  EXPECT_TRUE(fs::is_regular_file(output() + "b_eq.wav"));
  EXPECT_FALSE(fs::exists(output() + "a_eq.wav"));
  EXPECT_FALSE(fs::exists(root_ / batch::kProcessLogName));
  EXPECT_EQ(withoutTime(result.standardError),
            "./Music/b.wav: processed\n"
            "sonbalancer-cli: 1 processed, 0 skipped, 0 failed in H:MM:SS\nDONE !\n");
}

TEST_F(HeadlessCommand, QuietTellsOnlyTheFaultsAndTheSummary) {
  writeFile(music() + "/broken.mp3", std::string(4000, 'x'));
  TempFolder work;
  const CommandResult result =
      runCommand(work.path(), "-j 2 --quiet --no-mp3 " + shellQuoted(music()));
  EXPECT_EQ(result.exitStatus, 3);
  EXPECT_EQ(withoutTime(result.standardError),
            "sonbalancer-cli: " + music() + "/broken.mp3: its audio could not be extracted\n"
            "sonbalancer-cli: 2 processed, 0 skipped, 1 failed, 1 not music in H:MM:SS\nDONE !\n");
}

TEST_F(HeadlessCommand, FilesAreNamedByThePathAsTypedOnATerminalAndOff) {
  writeFile(music() + "/broken.mp3", std::string(4000, 'x'));
  const fs::path work = root_ / "work";
  fs::create_directory(work);
  // script gives the command a terminal: the run's and the workers' lines, redrawn in place.
  const testing_support::ShellRun onTerminal = testing_support::runInShell(
      work, "script -qec \"$SONBALANCER -j 2 --no-mp3 ../Music\" /dev/null >terminal");
  EXPECT_EQ(onTerminal.exitStatus, 3) << onTerminal.standardError;
  const std::string terminal = readFile(work / "terminal");
  EXPECT_NE(terminal.find("\x1b[J"), std::string::npos) << terminal;
  for (const std::string name : {"a.ogg", "b.wav", "broken.mp3"}) {
    EXPECT_NE(terminal.find("%  ../Music/" + name + "\r\n"), std::string::npos) << terminal;
  }
  EXPECT_NE(terminal.find("sonbalancer-cli: ../Music/broken.mp3: its audio could not be extracted"),
            std::string::npos);
  EXPECT_EQ(terminal.find(root_.path().string()), std::string::npos) << terminal;

  fs::remove_all(output());
  const CommandResult piped = runCommand(work, "-j 2 --no-mp3 ../Music");
  EXPECT_EQ(piped.exitStatus, 3);
  // One line a file, in the order they end.
  for (const std::string line :
       {"../Music/a.ogg: processed\n", "../Music/b.wav: processed\n",
        "../Music/notes.txt: not music\n",
        "sonbalancer-cli: ../Music/broken.mp3: its audio could not be extracted\n"}) {
    EXPECT_NE(piped.standardError.find(line), std::string::npos) << piped.standardError;
  }
  EXPECT_EQ(std::count(piped.standardError.begin(), piped.standardError.end(), '\n'), 4 + 2)
      << piped.standardError;
}

TEST_F(HeadlessCommand, NamesThatHoldControlsOrStrayBytesAreShownEscapedOnOneLine) {
  fs::remove(music() + "/a.ogg");
  fs::remove(music() + "/notes.txt");
  for (const char* name : {"new\nline: processed.wav", "esc\x1b[2J.wav", "bad\xff\\.wav"}) {
    fs::copy_file(music() + "/b.wav", music() + "/" + name);
  }
  writeFile(music() + "/empty\r.wav", "");
  const fs::path work = root_ / "work";
  fs::create_directory(work);
  const std::string names[] = {"../Music/new\\nline: processed.wav: processed\n",
                               "../Music/esc\\033[2J.wav: processed\n",
                               "../Music/bad\\377\\\\.wav: processed\n",
                               "sonbalancer-cli: ../Music/empty\\r.wav: the file is empty\n"};
  for (const char* jobs : {"1", "2"}) {
    const CommandResult piped = runCommand(work, std::string("--no-mp3 -j ") + jobs + " ../Music");
    EXPECT_EQ(piped.exitStatus, 3);
    for (const std::string& line : names) {
      EXPECT_NE(piped.standardError.find(line), std::string::npos) << piped.standardError;
    }
    // A line for each of the five files, the summary and the state; no raw control.
    EXPECT_EQ(std::count(piped.standardError.begin(), piped.standardError.end(), '\n'), 5 + 2);
    EXPECT_EQ(piped.standardError.find_first_of("\x1b\r\xff"), std::string::npos);
    fs::remove_all(output());
  }
  const CommandResult quiet =
      runCommand(work, "--no-mp3 -q " + shellQuoted("../Music/empty\r.wav"));
  EXPECT_EQ(withoutTime(quiet.standardError),
            names[3] + "sonbalancer-cli: 0 processed, 0 skipped, 1 failed in H:MM:SS\nREADY\n");
  EXPECT_EQ(runCommand(work, shellQuoted("\x1b[2J.wav")).standardError,
            "sonbalancer-cli: \\033[2J.wav: no such file or folder\n");

  // On a terminal the name's own escapes never reach it: the line redrawn with \r is all there is.
  const testing_support::ShellRun onTerminal = testing_support::runInShell(
      work, "script -qec \"$SONBALANCER -j 1 --no-mp3 ../Music/esc*\" /dev/null >terminal");
  EXPECT_EQ(onTerminal.exitStatus, 0) << onTerminal.standardError;
  const std::string terminal = readFile(work / "terminal");
  EXPECT_NE(terminal.find("%  ../Music/esc\\033[2J.wav"), std::string::npos) << terminal;
  EXPECT_EQ(terminal.find('\x1b'), std::string::npos) << terminal;
}

TEST_F(HeadlessCommand, NothingProcessedEndsReadyWithStatusOne) {
  TempFolder work;
  const CommandResult noMedia =
      runCommand(work.path(), "--log " + shellQuoted(music() + "/notes.txt"));
  EXPECT_EQ(noMedia.exitStatus, 1);
  EXPECT_TRUE(noMedia.standardError.ends_with("READY\n")) << noMedia.standardError;
  EXPECT_TRUE(readFile(work / batch::kProcessLogName)
                  .ends_with("\nERROR: No multimedia file in this folder !\n"));

  TempFolder emptyFolder;
  const CommandResult empty = runCommand(work.path(), shellQuoted(emptyFolder.path()));
  EXPECT_EQ(empty.exitStatus, 1);
  EXPECT_TRUE(empty.standardError.ends_with("READY\n")) << empty.standardError;
  EXPECT_FALSE(fs::exists(emptyFolder / "sonbalanced"));

  // Without the converter on the PATH, a job that needs it stops at once, having written nothing;
  // WAV files alone do not need it.
  const std::string noConverterPath = "PATH=/nonexistent";
  TempFolder bare;
  const CommandResult noConverter =
      runCommand(bare.path(), "--log " + shellQuoted(music()), noConverterPath);
  EXPECT_EQ(noConverter.exitStatus, 1);
  EXPECT_EQ(noConverter.standardError,
            "sonbalancer-cli: ffmpeg is not on the PATH, and this job needs it to encode the MP3 "
            "files: install it, or give --no-mp3\n");
  EXPECT_EQ(runCommand(bare.path(), "--no-mp3 " + shellQuoted(music() + "/a.ogg"), noConverterPath)
                .standardError,
            "sonbalancer-cli: ffmpeg is not on the PATH, and this job needs it to read files other "
            "than 16-bit WAV files: install it\n");
  EXPECT_FALSE(fs::exists(bare / batch::kProcessLogName));
  EXPECT_FALSE(fs::exists(output()));
  EXPECT_EQ(runCommand(bare.path(), "--no-mp3 " + shellQuoted(music() + "/b.wav"), noConverterPath)
                .exitStatus,
            0);
}

TEST_F(HeadlessCommand, UsageErrorsAndMissingPathsEndWithStatusTwo) {
  TempFolder work;
  EXPECT_EQ(runCommand(work.path(), "").exitStatus, 2);
  const CommandResult mistyped = runCommand(work.path(), "--recursve " + shellQuoted(music()));
  EXPECT_EQ(mistyped.exitStatus, 2);
  EXPECT_EQ(mistyped.standardError,
            "sonbalancer-cli: unknown option --recursve (did you mean --recursive?)\n"
            "Try 'sonbalancer-cli --help'\n");
  EXPECT_EQ(runCommand(work.path(), "--loud " + shellQuoted(music())).standardError,
            "sonbalancer-cli: unknown option --loud (did you mean --loudness-target?)\n"
            "Try 'sonbalancer-cli --help'\n");
  EXPECT_EQ(runCommand(work.path(), "--jobs").standardError,
            "sonbalancer-cli: option 'jobs' requires a value\nTry 'sonbalancer-cli --help'\n");
  EXPECT_EQ(runCommand(work.path(), "--jobs 0 " + shellQuoted(music())).exitStatus, 2);
  EXPECT_EQ(runCommand(work.path(), "--shard 3/2 " + shellQuoted(music())).exitStatus, 2);
  const CommandResult missing = runCommand(work.path(), shellQuoted(music() + "/absent.mp3"));
  EXPECT_EQ(missing.exitStatus, 2);
  EXPECT_NE(missing.standardError.find("absent.mp3: no such file or folder"), std::string::npos);
  EXPECT_FALSE(fs::exists(output()));
  // A file named like options is told how to be named.
  for (const std::string name : {"-dash.wav", "--dash.wav"}) {
    writeFile(work / name, "");
    EXPECT_EQ(runCommand(work.path(), "--no-mp3 " + name).standardError,
              "sonbalancer-cli: " + name + ": taken for options; to name that file, write ./" +
                  name + " or put -- before it\nTry 'sonbalancer-cli --help'\n");
  }
}

TEST_F(HeadlessCommand, HelpAndVersionGoToStandardOutput) {
  TempFolder work;
  const CommandResult help = runCommand(work.path(), "--help");
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.standardOutput.find("Usage: sonbalancer-cli"), std::string::npos);
  EXPECT_NE(help.standardOutput.find("--no-mp3"), std::string::npos);
  // Values are named for what they are, not for their type.
  EXPECT_NE(help.standardOutput.find("[--loudness-target LUFS]"), std::string::npos);
  EXPECT_NE(help.standardOutput.find("\n  --output=DIR  "), std::string::npos);
  EXPECT_EQ(help.standardOutput.find("<str>"), std::string::npos);
  const CommandResult version = runCommand(work.path(), "--version");
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.standardOutput, "sonbalancer-cli (SonBalancer) 1.70\n");
}

// ---- Faults, stops and other jobs

// A converter that writes the start of its output, tells its process id and then takes its
// time, so that a test can stop or kill the job while it runs.
class SlowConverter {
 public:
  SlowConverter() {
    writeFile(bin_ / "ffmpeg",
              "#!/bin/sh\nfor last; do :; done\nprintf partial > \"$last\"\necho $$ >> " +
                  shellQuoted(pidFile()) + "\nexec sleep 60\n");
    fs::permissions(bin_ / "ffmpeg", fs::perms::owner_all);
  }
  std::string path() const { return bin_.path().string() + ":" + std::getenv("PATH"); }
  std::string pidFile() const { return bin_ / "pid"; }
  // The process ids of the first `count` converters once they run; fewer after 30 s without.
  std::vector<pid_t> waitUntilRunning(std::size_t count = 1) const {
    std::vector<pid_t> pids;
    for (int i = 0; i < 300 && pids.size() < count; ++i) {
      pids.clear();
      std::istringstream lines(readFile(pidFile()));
      for (std::string line; std::getline(lines, line);) pids.push_back(std::stoi(line));
      if (pids.size() < count) ::usleep(100'000);
    }
    return pids;
  }

 private:
  TempFolder bin_;
};

// True once the process has ended (a zombie counts as ended) within 10 s.
bool endsSoon(pid_t pid) {
  for (int i = 0; i < 100; ++i) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty() || stat.find(") Z ") != std::string::npos) return true;
    ::usleep(100'000);
  }
  return false;
}

bool holdsLeftovers(const std::string& folder) {
  if (!fs::exists(folder)) return false;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (batch::isLeftoverName(name)) return true;
  }
  return false;
}

// True once a file whose name ends with ending is in folder or below, within 30 s.
bool appearsSoon(const std::string& folder, const std::string& ending) {
  for (int i = 0; i < 3000; ++i) {
    // Files come and go while the job runs: an entry gone is passed over.
    std::error_code gone;
    for (fs::recursive_directory_iterator entry(folder, gone), end; !gone && entry != end;
         entry.increment(gone)) {
      if (entry->path().filename().string().ends_with(ending)) return true;
    }
    ::usleep(10'000);
  }
  return false;
}

const std::string kStopLine = "the files not yet processed were left as they were.\n";

TEST_F(HeadlessCommand, StopSignalsEndTheJobWithOnlyWholeFiles) {
  fs::remove(music() + "/a.ogg");
  {
    // Ctrl-C while the MP3 of the first result is being encoded, in the job's own process: a
    // track long enough for the encoding to be met under way.
    ASSERT_TRUE(makeTone(music() + "/b.wav", {"-acodec", "pcm_s16le", "-f", "wav"}, 300, 1000));
    TempFolder work;
    RunningCommand job(work.path(), {"-j", "1", "--log", music()});
    ASSERT_TRUE(appearsSoon(output(), ".mp3.part")) << job.standardError();
    ::kill(job.pid(), SIGINT);
    EXPECT_EQ(job.wait(), 130);
    EXPECT_TRUE(fs::is_regular_file(output() + "b_eq.wav"));
    EXPECT_FALSE(fs::exists(output() + "b.mp3"));
    EXPECT_FALSE(holdsLeftovers(output()));
    EXPECT_TRUE(readFile(work / batch::kProcessLogName)
                    .ends_with("b_eq.wav\n\nMP3 re-encoding was requested... \n\nJOB STOPPED "
                               "(SIGINT): " + kStopLine))
        << readFile(work / batch::kProcessLogName);
  }
  {
    // SIGTERM while a source is being converted.
    ASSERT_TRUE(makeTone(music() + "/c.ogg", {"-acodec", "libvorbis"}));
    SlowConverter converter;
    TempFolder work;
    RunningCommand job(work.path(), {"--log", music() + "/c.ogg"}, converter.path());
    const std::vector<pid_t> extractor = converter.waitUntilRunning();
    ASSERT_EQ(extractor.size(), 1u) << job.standardError();
    ::kill(job.pid(), SIGTERM);
    EXPECT_EQ(job.wait(), 143);
    EXPECT_TRUE(endsSoon(extractor[0]));
    EXPECT_FALSE(holdsLeftovers(output()));
    EXPECT_FALSE(fs::exists(output() + "c_eq.wav"));
    EXPECT_TRUE(readFile(work / batch::kProcessLogName).ends_with("JOB STOPPED (SIGTERM): " + kStopLine));
    EXPECT_TRUE(job.standardError().ends_with("STOPPED\n")) << job.standardError();
  }
}

TEST_F(HeadlessCommand, StandardErrorsReaderGoneStopsTheJobWhole) {
  for (const char* name : {"c.wav", "d.wav", "e.wav"}) {
    fs::copy_file(music() + "/b.wav", music() + "/" + name);
  }
  const fs::path work = root_ / "work";
  fs::create_directory(work);
  // The reader has gone before the first file's line.
  testing_support::runInShell(
      work, "($SONBALANCER -j 1 --log --no-mp3 ../Music 2>&1; echo $? >status) | true");
  EXPECT_EQ(readFile(work / "status"), "141\n");
  EXPECT_FALSE(holdsLeftovers(output()));
  EXPECT_FALSE(fs::exists(output() + "e_eq.wav"));
  EXPECT_TRUE(
      readFile(work / batch::kProcessLogName).ends_with("JOB STOPPED (SIGPIPE): " + kStopLine))
      << readFile(work / batch::kProcessLogName);
}

TEST_F(HeadlessCommand, CtrlCWithSeveralWorkersLeavesNoPartialFile) {
  ASSERT_TRUE(makeTone(music() + "/c.ogg", {"-acodec", "libvorbis"}));
  SlowConverter converter;
  TempFolder work;
  RunningCommand job(work.path(), {"-j", "2", "--no-mp3", "--log", music()}, converter.path());
  const std::vector<pid_t> converters = converter.waitUntilRunning(2);
  ASSERT_EQ(converters.size(), 2u) << job.standardError();
  EXPECT_TRUE(fs::exists(workFolderIn(output()) + "TMPOUT-1.WAV"));
  EXPECT_TRUE(fs::exists(workFolderIn(output()) + "TMPOUT-3.WAV"));
  ::kill(job.pid(), SIGINT);
  EXPECT_EQ(job.wait(), 130);
  for (const pid_t pid : converters) EXPECT_TRUE(endsSoon(pid));
  EXPECT_FALSE(holdsLeftovers(output()));
  const std::string log = readFile(work / batch::kProcessLogName);
  // The log names the converter's output as one worker's job does.
  EXPECT_TRUE(log.ends_with("/TMPOUT.WAV\"\n\nJOB STOPPED (SIGINT): " + kStopLine)) << log;
  EXPECT_LT(log.find("a.ogg"), log.find("c.ogg"));
}

TEST_F(HeadlessCommand, KilledCommandTakesItsConverterWithItAndKeepsTheLogOfFinishedEntries) {
  fs::copy_file(music() + "/b.wav", music() + "/0.wav");
  SlowConverter converter;
  TempFolder work;
  RunningCommand job(work.path(), {"-j", "1", "--log", "--no-mp3", music()}, converter.path());
  const std::vector<pid_t> extractor = converter.waitUntilRunning();
  ASSERT_EQ(extractor.size(), 1u) << job.standardError();
  ::kill(job.pid(), SIGKILL);
  EXPECT_EQ(job.wait(), 128 + SIGKILL);
  EXPECT_TRUE(endsSoon(extractor[0]));
  EXPECT_TRUE(readFile(work / batch::kProcessLogName).ends_with("0_eq.wav\n\n"))
      << readFile(work / batch::kProcessLogName);
}

TEST_F(HeadlessCommand, SecondJobOnAHeldFolderTouchesNothingAndLogsApart) {
  SlowConverter converter;
  TempFolder work;
  RunningCommand first(work.path(), {"-j1", "--log", music() + "/a.ogg"}, converter.path());
  ASSERT_EQ(converter.waitUntilRunning().size(), 1u) << first.standardError();

  const CommandResult second = runCommand(work.path(), "--log " + shellQuoted(music()));

  EXPECT_EQ(second.exitStatus, 1) << second.standardError;
  EXPECT_NE(second.standardError.find("sonbalancer-cli: " + music() +
                                      "/a.ogg: its output folder is in use by another job\n"),
            std::string::npos)
      << second.standardError;
  EXPECT_NE(second.standardError.find("this job's log is sonbalancer-log-2.txt"), std::string::npos);
  EXPECT_TRUE(second.standardError.ends_with("BUSY\n")) << second.standardError;
  EXPECT_EQ(readFile(workFolderIn(output()) + "TMPOUT.WAV"), "partial");
  EXPECT_FALSE(fs::exists(output() + "b_eq.wav"));
  EXPECT_NE(readFile(work / "sonbalancer-log-2.txt").find("Output folder in use by another job"),
            std::string::npos);
  ::kill(first.pid(), SIGTERM);
  EXPECT_EQ(first.wait(), 143);
}

TEST_F(HeadlessCommand, SomeFailedEndsWithStatusThreeAndALinePerFault) {
  writeFile(music() + "/broken.mp3", std::string(4000, 'x'));
  TempFolder work;
  const CommandResult result = runCommand(work.path(), "--no-mp3 " + shellQuoted(music()));
  EXPECT_EQ(result.exitStatus, 3) << result.standardError;
  EXPECT_NE(result.standardError.find("\nsonbalancer-cli: " + music() +
                                      "/broken.mp3: its audio could not be extracted\n"),
            std::string::npos)
      << result.standardError;
  EXPECT_NE(result.standardError.find("\nsonbalancer-cli: 2 processed, 0 skipped, 1 failed, 1 not music in 0:00:"),
            std::string::npos)
      << result.standardError;
  EXPECT_TRUE(result.standardError.ends_with("\nDONE !\n"));
}

std::string progressOf(cli::ProgressStyle style, int columns,
                       const std::function<void(cli::ConsoleWindow&)>& show) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&text, &size);
  {
    cli::ConsoleWindow window({}, stream, style, columns);
    show(window);
    window.endProgress();
  }
  std::fclose(stream);
  std::string result(text, size);
  std::free(text);
  return result;
}

TEST(ConsoleProgress, TerminalLineIsRedrawnInPlaceWithinItsWidth) {
  const std::string shown =
      progressOf(cli::ProgressStyle::Redrawn, 80, [](cli::ConsoleWindow& window) {
        window.setCurrentFileText(
            "/music/a rather long folder name/and an even longer file name.mp3");
        window.fileGaugeStep(25, 100);
        window.setCurrentFileText("/m/b.mp3");
      });
  const std::string gauges25 = "file [#####...............]  25%  job [....................]   0%";
  // The name loses its start to fit: "..." and its last 9 characters.
  const std::string first =
      "\rfile [....................]   0%  job [....................]   0%  ... name.mp3";
  EXPECT_EQ(shown.substr(0, first.size()), first);
  // Each redraw stays one short of the 80 columns and blanks what the previous one left.
  EXPECT_EQ(shown.find('\r', 1), first.size());
  EXPECT_TRUE(shown.ends_with("\r" + gauges25 + "  /m/b.mp3" +
                              std::string(79 - gauges25.size() - 10, ' ') + "\n"))
      << shown;

  // A wide character takes two columns: two of them and ".mp3" fit the nine after "...", and
  // the narrower name drawn next blanks all eleven.
  const std::string wide =
      progressOf(cli::ProgressStyle::Redrawn, 80, [](cli::ConsoleWindow& window) {
        window.setCurrentFileText(batch::fromNativePath("/m/\u97f3\u97f3\u97f3\u97f3\u97f3.mp3"));
        window.setCurrentFileText("/m/b.mp3");
      });
  EXPECT_NE(wide.find("0%  ...\u97f3\u97f3.mp3\r"), std::string::npos) << wide;
  EXPECT_TRUE(wide.ends_with("0%  /m/b.mp3   \n")) << wide;
}

TEST(ShownPath, APathBelowAGivenOneIsNamedAsThatOneWasTyped) {
  const std::vector<cli::GivenPath> given = {
      {".", "/w"}, {"../Music/", "/w/../Music"}, {"../Music/live/x.mp3", "/w/../Music/live/x.mp3"}};
  EXPECT_EQ(cli::shownPath(given, "/w/a.mp3"), "a.mp3");
  EXPECT_EQ(cli::shownPath(given, "/w"), ".");
  // The longest PATH that leads the text names it.
  EXPECT_EQ(cli::shownPath(given, "/w/../Music/live/y.mp3"), "../Music/live/y.mp3");
  EXPECT_EQ(cli::shownPath(given, "/w/../Music/live/x.mp3: no audio frames"),
            "../Music/live/x.mp3: no audio frames");
  // A sibling whose name the PATH begins, and words before a path, are left alone.
  EXPECT_EQ(cli::shownPath(given, "/w2/a.mp3"), "/w2/a.mp3");
  EXPECT_EQ(cli::shownPath(given, "the report could not be written into /w/r"),
            "the report could not be written into /w/r");
}

TEST(ConsoleProgress, RunOfSeveralWorkersShowsEachWorkersFileAndTheRunsRate) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&text, &size);
  {
    cli::ConsoleRunView view({}, stream, cli::ProgressStyle::Redrawn, 0, 2);
    view.workerFile(1, "/m/b.mp3");
    view.workerGauge(1, 50);
    view.entriesDone(1, 4);
    view.notice("/m/c.mp3: not a regular file");
  }
  std::fclose(stream);
  const std::string shown(text, size);
  std::free(text);
  EXPECT_TRUE(shown.starts_with("0/0 done\n  1 [....................]   0%  \n"
                                "  2 [....................]   0%  /m/b.mp3\n\x1b[3F\x1b[J"))
      << shown;
  EXPECT_NE(shown.find("  2 [##########..........]  50%  /m/b.mp3\n"), std::string::npos) << shown;
  EXPECT_TRUE(testing_support::holdsPattern(shown,
                                            "\x1b\\[J1/4 done  [0-9.]+ tracks a minute  "
                                            "about [0-9]+:[0-9]{2}:[0-9]{2} left\n"))
      << shown;
  // The notice takes the place of the drawn lines, which come again below it.
  EXPECT_NE(shown.find("\x1b[3F\x1b[Jsonbalancer-cli: /m/c.mp3: not a regular file\n1/4 done"),
            std::string::npos)
      << shown;
}

TEST(ConsoleProgress, AWorkersNameCutToTheWidthStartsOnAWholeCharacter) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_memstream(&text, &size);
  {
    // 44 columns leave the name 7 bytes after "...": ".mp3" and the last three bytes of
    // "\u00e9\u00e9", the first of them the tail of a character.
    cli::ConsoleRunView view({}, stream, cli::ProgressStyle::Redrawn, 44, 1);
    view.workerFile(0, batch::fromNativePath("/m/\u00e9\u00e9\u00e9.mp3"));
  }
  std::fclose(stream);
  const std::string shown(text, size);
  std::free(text);
  EXPECT_TRUE(shown.ends_with("0%  ...\u00e9.mp3\n")) << shown;
}

// ---- Interrupted jobs and other users

TEST_F(HeadlessCommand, NextJobClearsWhatAJobKilledWithTwoWorkersLeft) {
  ASSERT_TRUE(makeTone(music() + "/c.ogg", {"-acodec", "libvorbis"}));
  fs::create_directory(output());
  writeFile(output() + "TMPOUT-5.WAV", "converted by an earlier version");
  writeFile(output() + batch::kResultManifestName + ".Ab12Cd", "{\"format\": 1, \"res");
  const std::string elsewhere = root_ / "elsewhere.wav";
  writeFile(elsewhere, "not a leftover");
  fs::create_symlink(elsewhere, output() + "TMPOUT.WAV");
  {
    SlowConverter converter;
    TempFolder work;
    RunningCommand job(work.path(), {"-j", "2", "--no-mp3", music()}, converter.path());
    const std::vector<pid_t> converters = converter.waitUntilRunning(2);
    ASSERT_EQ(converters.size(), 2u) << job.standardError();
    ::kill(job.pid(), SIGKILL);
    EXPECT_EQ(job.wait(), 128 + SIGKILL);
    for (const pid_t pid : converters) EXPECT_TRUE(endsSoon(pid));
    EXPECT_EQ(readFile(workFolderIn(output()) + "TMPOUT-3.WAV"), "partial");
  }
  TempFolder work;
  const CommandResult next = runCommand(work.path(), "-j 2 --no-mp3 " + shellQuoted(music()));

  EXPECT_EQ(next.exitStatus, 0) << next.standardError;
  EXPECT_FALSE(holdsLeftovers(output()));
  EXPECT_EQ(readFile(elsewhere), "not a leftover");
  // The three results and the record of what they were made from.
  EXPECT_EQ(std::distance(fs::directory_iterator(output()), fs::directory_iterator()), 4);
  EXPECT_TRUE(fs::exists(output() + batch::kResultManifestName));
  for (const std::string name : {"a", "b", "c"}) {
    EXPECT_GT(fs::file_size(output() + name + "_eq.wav"), 44u) << name;
  }
}

// A converter that waits until the test lets it go, then does the real work.
class GatedConverter {
 public:
  GatedConverter() {
    writeFile(bin_ / "ffmpeg", "#!/bin/sh\necho $$ >> " + shellQuoted(bin_ / "pid") +
                                   "\nwhile [ ! -e " + shellQuoted(gate()) +
                                   " ]; do sleep 0.05; done\nPATH=${PATH#*:} exec ffmpeg \"$@\"\n");
    fs::permissions(bin_ / "ffmpeg", fs::perms::owner_all);
  }
  std::string path() const { return bin_.path().string() + ":" + std::getenv("PATH"); }
  bool waitUntilRunning() const {
    for (int i = 0; i < 300 && !fs::exists(bin_ / "pid"); ++i) ::usleep(100'000);
    return fs::exists(bin_ / "pid");
  }
  void letGo() const { writeFile(gate(), ""); }

 private:
  std::string gate() const { return bin_ / "go"; }
  TempFolder bin_;
};

TEST_F(HeadlessCommand, AnotherUsersLinksAndFoldersAreNeverWrittenThrough) {
  if (!testing_support::runningAsRoot()) GTEST_SKIP() << "acting as a second user needs root";
  using testing_support::asNobody;
  // Shared folders as /tmp is one: anyone may add files, only their owner remove them.
  const auto shared = fs::perms::all | fs::perms::sticky_bit;
  fs::permissions(root_.path(),
                  fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  fs::create_directory(output());
  fs::permissions(output(), shared);
  TempFolder work;
  TempFolder reports;
  fs::permissions(work.path(), shared);
  fs::permissions(reports.path(), shared);
  const std::string secret = root_ / "secret";
  writeFile(secret, "root's own");
  ASSERT_TRUE(asNobody({"ln", "-s", secret, work / batch::kProcessLogName}));
  ASSERT_TRUE(asNobody({"ln", "-s", secret, reports / "report.csv.part"}));
  ASSERT_TRUE(asNobody({"ln", "-s", secret, reports / "report.json.old"}));
  writeFile(reports / "report.json", "{}");

  GatedConverter converter;
  RunningCommand job(work.path(),
                     {"-j", "1", "--log", "--report", reports.path().string(), music() + "/a.ogg"},
                     converter.path());
  ASSERT_TRUE(converter.waitUntilRunning()) << job.standardError();
  // While the job converts, links at every name it could once be predicted to write.
  ASSERT_TRUE(asNobody({"sh", "-c",
                        "for n in 1 2 3 4 5 6; do for k in wav mp3; do "
                        "ln -s \"$1\" \"$2.sonbalancer-$3-$n.$k.part\"; done; done; "
                        "ln -s \"$1\" \"$2TMPOUT.WAV\"",
                        "sh", secret, output(), std::to_string(job.pid())}));
  converter.letGo();

  EXPECT_EQ(job.wait(), 0) << job.standardError();
  EXPECT_TRUE(readFile(secret) == "root's own") << "the link's target was written";
  EXPECT_GT(fs::file_size(output() + "a_eq.wav"), 44u);
  EXPECT_GT(fs::file_size(output() + "a.mp3"), 1000u);
  EXPECT_NE(readFile(work / "sonbalancer-log-2.txt").find("WAV Saved as " + output() + "a_eq.wav"),
            std::string::npos);
  EXPECT_NE(job.standardError().find("sonbalancer-log.txt is a link or not a file of this user's "
                                     "own, and is left alone: this job's log is "
                                     "sonbalancer-log-2.txt\n"),
            std::string::npos)
      << job.standardError();
  EXPECT_NE(readFile(reports / "report.json").find("\"processed\": 1"), std::string::npos);
  EXPECT_TRUE(fs::is_symlink(reports / "report.csv.part"));

  // A folder anyone may write into, without the sticky bit, that holds another user's file.
  fs::remove_all(output());
  fs::create_directory(output());
  fs::permissions(output(), fs::perms::all);
  ASSERT_TRUE(asNobody({"ln", "-s", secret, output() + "b_eq.wav"}));
  const CommandResult refused =
      runCommand(work.path(), "--no-mp3 " + shellQuoted(music() + "/b.wav"));
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_NE(refused.standardError.find("sonbalancer-cli: " + music() +
                                       "/b.wav: others may write into its output folder (no "
                                       "sticky bit), which holds their files\n"),
            std::string::npos)
      << refused.standardError;
  EXPECT_TRUE(readFile(secret) == "root's own") << "the link's target was written";
  EXPECT_EQ(std::distance(fs::directory_iterator(output()), fs::directory_iterator()), 1);
}

}  // namespace
