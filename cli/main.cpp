// sonbalancer-cli: one SonBalancer job over music files and folders, without a window, for
// scripts, machines without a display and whole libraries. The same set-up and per-file
// pipeline as the window, one entry at a time or several at once.
#include <wx/cmdline.h>
#include <wx/init.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "batch/entry_list.h"
#include "batch/job_setup.h"
#include "batch/job_state.h"
#include "batch/memory_budget.h"
#include "batch/native_path.h"
#include "batch/parallel_job.h"
#include "batch/pipeline.h"
#include "batch/source_guard.h"
#include "cli/console_window.h"
#include "cli/run_view.h"
#include "cli/usage.h"
#include "loudness/true_peak_ceiling.h"
#include "media/converter_commands.h"
#include "media/system_services.h"
#include "platform/folders.h"
#include "platform/signals.h"
#include "platform/terminal.h"
#include "sonbalancer_version.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExitDone = 0;
constexpr int kExitNothingDone = 1;
constexpr int kExitUsage = 2;
constexpr int kExitPartlyDone = 3;
// A job stopped by a signal exits as a shell reports a program that the signal ended.
constexpr int kExitSignalBase = 128;
// Below -70 LUFS the loudness gate leaves nothing to measure.
constexpr double kLowestLoudnessTargetLufs = -70.0;
constexpr double kHighestLoudnessTargetLufs = 0.0;
// A day: longer than any job a held folder could be waiting on.
constexpr double kLongestBusyWaitSeconds = 86400.0;

// Formed before the table that points into it.
const std::string kLoudnessTargetHelp = [] {
  char text[160];
  std::snprintf(text, sizeof text,
                "bring each result to LUFS integrated loudness (e.g. -18), its peaks limited to "
                "a true peak of at most %.1f dBTP",
                loudness::kTruePeakCeilingDbtp);
  return std::string(text);
}();

const wxCmdLineEntryDesc kCommandLine[] = {
    {wxCMD_LINE_SWITCH, "h", "help", "show this help and exit", wxCMD_LINE_VAL_NONE,
     wxCMD_LINE_OPTION_HELP},
    {wxCMD_LINE_SWITCH, nullptr, "version", "show the version and exit", wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, "q", "quiet",
     "show only the faults and the summary on standard error, no progress", wxCMD_LINE_VAL_NONE,
     0},
    {wxCMD_LINE_SWITCH, nullptr, "log",
     "write the process log sonbalancer-log.txt into the working folder", wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "no-mp3", "do not encode the results to MP3 (they are by default)",
     wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "mp3-192k",
     "encode the MP3 files at 192 kbit/s instead of 128 kbit/s", wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_OPTION, nullptr, "mp3-bitrate",
     "encode the MP3 files at RATE kbit/s: 128, 192, 256, 320, or same (an MP3 source's own "
     "rate, 320 for other sources)",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "mp3-vbr",
     "encode the MP3 files at a variable bit rate of quality Q, 0 (best) to 9",
     wxCMD_LINE_VAL_NUMBER, 0},
    {wxCMD_LINE_SWITCH, nullptr, "no-bassline", "the tracks have no bass line", wxCMD_LINE_VAL_NONE,
     0},
    {wxCMD_LINE_SWITCH, nullptr, "ignore-clicks", "ignore short clicks (vinyl records)",
     wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, "r", "recursive",
     "folders include their sub-folders (not hidden ones, not sonbalanced, not links)",
     wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_OPTION, "j", "jobs", "process N files at once (default: the number of processors)",
     wxCMD_LINE_VAL_NUMBER, 0},
    {wxCMD_LINE_SWITCH, nullptr, "skip-existing",
     "leave alone the files whose results exist and were made from this same file with the same "
     "choices",
     wxCMD_LINE_VAL_NONE,
     0},
    {wxCMD_LINE_OPTION, nullptr, "output",
     "put the results under DIR, mirroring the folders below each PATH, instead of beside them",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, nullptr, "mp3-only", "keep only the MP3 results (the WAV is removed)",
     wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_OPTION, nullptr, "files-from",
     "read more paths from FILE, one a line (- for standard input)", wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, "0", nullptr, "the paths of --files-from end with NUL bytes (find -print0)",
     wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_OPTION, nullptr, "memory",
     "let the files being processed take at most SIZE of memory together (2G, 512M, bytes; "
     "default: what the system allows, less a margin)",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "shard",
     "K/N: process only the output folders that fall to shard K of N (whole folders, the largest "
     "first, each to the shard with the fewest bytes so far)",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "wait-busy",
     "wait up to SECONDS for an output folder that another job holds, then skip it (default 0)",
     wxCMD_LINE_VAL_DOUBLE, 0},
    {wxCMD_LINE_OPTION, nullptr, "report",
     "write report.json, report.csv and report.html of the job into DIR", wxCMD_LINE_VAL_STRING,
     0},
    {wxCMD_LINE_SWITCH, nullptr, "analyze",
     "measure and report what the job would do, writing no audio (needs --report)",
     wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_OPTION, nullptr, "loudness-target", kLoudnessTargetHelp.c_str(),
     wxCMD_LINE_VAL_DOUBLE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "wav-tags",
     "also write the source's tags and cover into each WAV result (INFO and ID3 chunks)",
     wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "replaygain",
     "write ReplayGain track tags into each MP3, and album tags for each folder's tracks",
     wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_PARAM, nullptr, nullptr, "PATH", wxCMD_LINE_VAL_STRING,
     wxCMD_LINE_PARAM_OPTIONAL | wxCMD_LINE_PARAM_MULTIPLE},
    {wxCMD_LINE_USAGE_TEXT, nullptr, nullptr,
     "\nEach PATH is a music file or a folder; the results go to the sub-folder sonbalanced beside\n"
     "each file. Progress goes to standard error: redrawn in place on a terminal, otherwise\n"
     "a line for each file as it ends (processed, not music, ...). Every music file that fails\n"
     "or is skipped for a fault gets a line there, also with --quiet, and the job ends with a\n"
     "line of what it processed, skipped and failed.\n"
     "Exit status: 0 when every music file gave its results, 1 when none did, 3 when some did\n"
     "and others failed or were skipped for a fault (or the report, the log or ReplayGain tags\n"
     "could not be written), 2 for a usage error or a PATH that does not exist, 130, 143 or 141\n"
     "when stopped by SIGINT (Ctrl-C), SIGTERM or a closed pipe on standard error (the files not\n"
     "yet processed are left alone).\n"
     "Examples:\n"
     "  sonbalancer-cli --log ~/Music/album\n"
     "  sonbalancer-cli -r --skip-existing ~/Music\n"
     "  sonbalancer-cli -j 4 --mp3-only set1 set2 track.flac\n"
     "  sonbalancer-cli -r --output /data/balanced /mnt/share/music\n"
     "  find ~/Music -name '*.mp3' -print0 | sonbalancer-cli -0 --files-from -\n"
     "  sonbalancer-cli -r --shard 2/8 /library\n"
     "  sonbalancer-cli -r --report ~/balance-report ~/Music\n"
     "  sonbalancer-cli --analyze --report /tmp/preview set1\n"
     "  sonbalancer-cli -r --loudness-target -18 --replaygain ~/Music",
     wxCMD_LINE_VAL_NONE, 0},
    wxCMD_LINE_DESC_END};

void printText(std::FILE* stream, const wxString& text) {
  std::fputs(batch::toNativePath(text).c_str(), stream);
}

// What each option's value stands for, shown in the help in place of its type.
const std::vector<cli::ValueName> kValueNames = {
    {"jobs", "j", "N"},           {"output", nullptr, "DIR"},
    {"files-from", nullptr, "FILE"}, {"memory", nullptr, "SIZE"},
    {"shard", nullptr, "K/N"},     {"wait-busy", nullptr, "SECONDS"},
    {"report", nullptr, "DIR"},    {"loudness-target", nullptr, "LUFS"},
    {"mp3-bitrate", nullptr, "RATE"}, {"mp3-vbr", nullptr, "Q"}};

int usageError(const std::string& message) {
  std::fprintf(stderr, "sonbalancer-cli: %s\nTry 'sonbalancer-cli --help'\n",
               cli::printable(message).c_str());
  return kExitUsage;
}

// The set-up puts the output folder beside a single file, which for a bare relative name
// would be the root of the file system; so paths are made absolute. "." parts and trailing
// separators are dropped for a clean log; ".." is kept, as it may cross a symbolic link.
bool absolutePath(const std::string& argument, std::string& absolute) {
  std::error_code error;
  const fs::path joined = fs::absolute(fs::path(argument), error);
  if (error) return false;
  fs::path cleaned;
  for (const fs::path& part : joined) {
    if (part.empty() || part == ".") continue;
    cleaned /= part;
  }
  absolute = cleaned.string();
  return true;
}

int exitStatusOf(const batch::JobState& job) {
  if (job.stopped) return kExitSignalBase + platform::stopSignal();
  const batch::EntryCounts& counts = job.counts;
  const std::uint32_t withResults = counts.processed + counts.upToDate;
  if (withResults == 0) return kExitNothingDone;
  const bool whole = counts.failed == 0 && counts.skippedForFault == 0 && !job.jobFilesFailed;
  return whole ? kExitDone : kExitPartlyDone;
}

// What the command line asks for, or the exit status of a usage error.
struct Request {
  batch::LibraryJob job;
  cli::CheckBoxes boxes;
  // The PATHs of the command line as typed, by which the files below them are named.
  std::vector<cli::GivenPath> given;
  unsigned workers = 1;
  int usageStatus = 0;
};

cli::CheckBoxes readCheckBoxes(const wxCmdLineParser& parser) {
  cli::CheckBoxes boxes;
  boxes.log = parser.Found("log");
  boxes.mp3 = !parser.Found("no-mp3");
  boxes.mp3At192k = parser.Found("mp3-192k");
  boxes.noBassline = parser.Found("no-bassline");
  boxes.ignoreClicks = parser.Found("ignore-clicks");
  return boxes;
}

// Each reading below gives the usage error's message, or nothing when what it read is usable.

// Which results, how many workers, within what memory, where, and how long to wait.
std::string readJobChoices(const wxCmdLineParser& parser, Request& request) {
  batch::LibraryJob& job = request.job;
  job.listing.recursive = parser.Found("recursive");
  job.options.skipExisting = parser.Found("skip-existing");
  job.options.mp3Only = parser.Found("mp3-only");
  if (job.options.mp3Only && !request.boxes.mp3) {
    return "--mp3-only and --no-mp3 exclude each other";
  }
  long jobs = static_cast<long>(std::max(1u, std::thread::hardware_concurrency()));
  if (parser.Found("jobs", &jobs) && (jobs < 1 || jobs > 1024)) {
    return "--jobs takes a number from 1 to 1024";
  }
  request.workers = static_cast<unsigned>(jobs);
  job.workers = request.workers;
  job.options.numberedTemporaryFiles = request.workers > 1;

  wxString text;
  if (parser.Found("memory", &text)) {
    job.options.memoryBytes = batch::parseMemorySize(batch::toNativePath(text));
    if (!job.options.memoryBytes) return "--memory takes a size such as 2G, 512M or bytes";
  }
  if (parser.Found("shard", &text) &&
      !batch::parseShard(batch::toNativePath(text), job.listing.shardIndex,
                         job.listing.shardCount)) {
    return "--shard takes K/N with 1 <= K <= N";
  }
  if (parser.Found("output", &text)) {
    const std::string output = batch::toNativePath(text);
    if (!absolutePath(output, job.listing.outputRoot)) return output + ": not a usable folder";
    // A link the user names is taken where it leads, unlike one met in an output folder.
    if (platform::pathKindOf(job.listing.outputRoot) == platform::PathKind::Link) {
      std::error_code error;
      const fs::path target = fs::canonical(job.listing.outputRoot, error);
      if (!error) job.listing.outputRoot = target.string();
    }
  }
  double busyWaitSeconds = 0.0;
  if (parser.Found("wait-busy", &busyWaitSeconds)) {
    if (!(busyWaitSeconds >= 0.0 && busyWaitSeconds <= kLongestBusyWaitSeconds)) {
      return "--wait-busy takes seconds from 0 to " +
             std::to_string(static_cast<long>(kLongestBusyWaitSeconds));
    }
    job.options.busyWaitMs = std::lround(busyWaitSeconds * 1000.0);
  }
  return {};
}

// The report, analysis alone, the loudness target and the ReplayGain tags.
std::string readMeasureChoices(const wxCmdLineParser& parser, Request& request) {
  batch::LibraryJob& job = request.job;
  job.options.analyzeOnly = parser.Found("analyze");
  wxString text;
  if (parser.Found("report", &text)) {
    const std::string folder = batch::toNativePath(text);
    job.options.report = true;
    if (!absolutePath(folder, job.reportTarget.folder)) return folder + ": not a usable folder";
    job.reportTarget.baseName = "report";
  } else if (job.options.analyzeOnly) {
    return "--analyze needs --report DIR";
  }
  if (job.options.analyzeOnly && (job.options.mp3Only || job.options.skipExisting)) {
    return "--analyze writes nothing: it goes with neither --mp3-only nor --skip-existing";
  }
  double target = 0.0;
  if (parser.Found("loudness-target", &target)) {
    if (!(target >= kLowestLoudnessTargetLufs && target <= kHighestLoudnessTargetLufs)) {
      return "--loudness-target takes LUFS from -70 to 0";
    }
    job.options.loudnessTargetLufs = target;
  }
  job.options.replayGain = parser.Found("replaygain");
  if (job.options.replayGain && (!request.boxes.mp3 || job.options.analyzeOnly)) {
    return "--replaygain tags the MP3 files: it goes with neither --no-mp3 nor --analyze";
  }
  return {};
}

// The MP3's rate of --mp3-bitrate or --mp3-vbr, and the tags of the WAV results.
std::string readResultChoices(const wxCmdLineParser& parser, Request& request) {
  batch::JobOptions& options = request.job.options;
  options.wavTags = parser.Found("wav-tags");
  wxString text;
  long quality = 0;
  const bool constant = parser.Found("mp3-bitrate", &text);
  const bool variable = parser.Found("mp3-vbr", &quality);
  if (int{constant} + int{variable} + int{parser.Found("mp3-192k")} > 1) {
    return "--mp3-bitrate, --mp3-vbr and --mp3-192k exclude each other";
  }
  if (variable) {
    if (quality < 0 || quality > 9) return "--mp3-vbr takes a quality from 0 (best) to 9";
    options.mp3Rate = media::Mp3Rate{};
    options.mp3Rate->vbrQuality = static_cast<int>(quality);
  } else if (constant) {
    const std::string chosen = batch::toNativePath(text);
    options.mp3Rate = media::Mp3Rate{};
    if (chosen == "same") {
      options.mp3Rate->kbps = media::Mp3Rate::kSameRate;
    } else if (chosen == "128" || chosen == "192" || chosen == "256" || chosen == "320") {
      options.mp3Rate->kbps = std::stoi(chosen);
    } else {
      return "--mp3-bitrate takes 128, 192, 256, 320 or same";
    }
  }
  return {};
}

// The files and folders given and listed, made absolute. A path given on the command line that
// is missing ends the command here (request.usageStatus set, its own message written); a listed
// path that is missing is an entry that fails, not a usage error.
std::string readPaths(const wxCmdLineParser& parser, Request& request) {
  batch::LibraryJob& job = request.job;
  std::vector<std::string> arguments;
  for (std::size_t index = 0; index < parser.GetParamCount(); ++index) {
    arguments.push_back(batch::toNativePath(parser.GetParam(index)));
  }
  const std::size_t givenOnCommandLine = arguments.size();
  wxString text;
  if (parser.Found("files-from", &text)) {
    const std::string list = batch::toNativePath(text);
    if (!batch::readPathList(list, parser.Found("0"), arguments)) return list + ": cannot be read";
  } else if (parser.Found("0")) {
    return "-0 goes with --files-from";
  }
  if (arguments.empty()) return "give at least one music file or folder";
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    std::string path;
    std::error_code error;
    const bool found = absolutePath(argument, path) && fs::exists(fs::status(argument, error));
    if (!found && index < givenOnCommandLine) {
      std::fprintf(stderr, "sonbalancer-cli: %s: no such file or folder\n",
                   cli::printable(argument).c_str());
      request.usageStatus = kExitUsage;
      return {};
    }
    job.paths.push_back(path.empty() ? argument : path);
    if (index < givenOnCommandLine) request.given.push_back({argument, path});
    // Album tags belong to the tracks of a folder, never to a file given on its own.
    if (job.options.replayGain && (job.listing.recursive || fs::is_directory(path, error))) {
      job.options.albumReplayGain = true;
    }
  }
  if (!job.listing.outputRoot.empty()) {
    const std::string clash = batch::outputAmongSources(job.listing.outputRoot, job.paths);
    if (!clash.empty()) {
      return "--output " + job.listing.outputRoot + " " + clash +
             ": results must never land among their sources";
    }
  }
  return {};
}

Request readRequest(const wxCmdLineParser& parser) {
  Request request;
  request.boxes = readCheckBoxes(parser);
  for (auto read : {readJobChoices, readMeasureChoices, readResultChoices, readPaths}) {
    const std::string refusal = read(parser, request);
    if (!refusal.empty()) {
      request.usageStatus = usageError(refusal);
      return request;
    }
    if (request.usageStatus != 0) return request;
  }
  return request;
}

// The first argument before "--" that starts with "-" and names a file or folder, which the
// command line took for options; empty when there is none.
std::string fileTakenForOptions(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    std::error_code error;
    if (argument.size() > 1 && argument.front() == '-' &&
        fs::exists(fs::symlink_status(argument, error))) {
      return argument;
    }
  }
  return {};
}

std::string elapsedText(std::chrono::steady_clock::time_point start) {
  const long seconds = static_cast<long>(
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  batch::useByteExactFileNames();
  // Only the program name goes to the toolkit: it would convert the arguments with the locale
  // and drop those that are not valid there; they are converted below, as file names.
  int toolkitArgumentCount = 1;
  wxInitializer toolkit(toolkitArgumentCount, argv);
  if (!toolkit.IsOk()) {
    std::fputs("sonbalancer-cli: the toolkit could not be initialised\n", stderr);
    return kExitNothingDone;
  }

  // Arguments are taken as file-system bytes, whatever the locale, so that any file name
  // reaches the job unchanged.
  std::vector<wxString> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(batch::fromNativePath(argv[i]));
  std::vector<wxChar*> argumentPointers;
  for (wxString& argument : arguments)
    argumentPointers.push_back(const_cast<wxChar*>(argument.wc_str()));
  argumentPointers.push_back(nullptr);

  const std::vector<std::string> typed(argv + 1, argv + argc);
  const std::string unknown = cli::unknownLongOption(typed, kCommandLine);
  // A file named like options is told how to be named, rather than which option it is not.
  const std::string dashed = fileTakenForOptions(typed);
  const std::string takenForOptions =
      dashed + ": taken for options; to name that file, write ./" + dashed + " or put -- before it";
  if (!unknown.empty() && !dashed.empty() && dashed.starts_with(unknown)) {
    return usageError(takenForOptions);
  }
  if (!unknown.empty()) {
    const std::string closest = cli::closestLongOption(unknown, kCommandLine);
    return usageError("unknown option " + unknown +
                      (closest.empty() ? "" : " (did you mean " + closest + "?)"));
  }
  wxCmdLineParser parser(kCommandLine, argc, argumentPointers.data());
  parser.SetLogo("sonbalancer-cli: evens out the tonal balance and level of music tracks.");
  std::string parseMessage;
  const int parsed = cli::parseQuietly(parser, parseMessage);
  if (parsed == -1) {
    std::fputs(cli::helpText(parser, kValueNames).c_str(), stdout);
    return kExitDone;
  }
  if (parsed != 0) {
    return usageError(!dashed.empty()        ? takenForOptions
                      : parseMessage.empty() ? "unusable command line"
                                             : parseMessage);
  }
  if (parser.Found("version")) {
    std::printf("sonbalancer-cli (SonBalancer) %s\n", sonbalancer::kVersion);
    return kExitDone;
  }
  Request request = readRequest(parser);
  if (request.usageStatus != 0) return request.usageStatus;
  // The views name each file through the PATHs as typed.
  request.job.options.wholeEntryNames = true;

  const bool terminal = platform::standardErrorIsTerminal();
  const cli::ProgressStyle style = parser.Found("quiet") ? cli::ProgressStyle::Quiet
                                   : terminal            ? cli::ProgressStyle::Redrawn
                                                         : cli::ProgressStyle::FileLines;
  const int columns = terminal ? platform::standardErrorColumns() : 0;
  cli::ConsoleWindow window(request.boxes, stderr, style, columns, request.given);
  cli::ConsoleRunView runView(request.boxes, stderr, style, columns, request.workers,
                              request.given);
  const bool atOnce = request.workers > 1;
  batch::JobChoices& choices = atOnce ? static_cast<batch::JobChoices&>(runView) : window;
  batch::JobStatus& status = atOnce ? static_cast<batch::JobStatus&>(runView) : window;

  platform::installStopSignals();
  // Progress read through a pipe that closed stops the job whole, as Ctrl-C does.
  platform::installStopOnLostReader();
  batch::JobState& job = batch::theJobState();
  const int setUp = batch::setUpLibraryJob(job, choices, status, request.job);
  if (setUp == batch::kNoFolderInThisShard) {
    std::fputs("sonbalancer-cli: no output folder falls to this shard: nothing to do\n", stderr);
    printText(stderr, "READY\n");
    return kExitDone;
  }
  if (setUp == batch::kConverterMissing) {
    std::fprintf(stderr, "sonbalancer-cli: %s is not on the PATH, and this job needs it to %s\n",
                 media::kConverterProgram,
                 request.boxes.mp3 && !request.job.options.analyzeOnly
                     ? "encode the MP3 files: install it, or give --no-mp3"
                     : "read files other than 16-bit WAV files: install it");
    return kExitNothingDone;
  }
  if (setUp != 0) {
    std::fputs("sonbalancer-cli: no file to process\n", stderr);
    printText(stderr, "READY\n");
    return kExitNothingDone;
  }
  if (atOnce) {
    batch::runEntriesAtOnce(job, runView, runView, runView, media::realSystemServices(),
                            request.workers);
    runView.endProgress();
  } else {
    // The window waits for its timer between entries; here they simply follow one another.
    while (job.running) batch::timerTick(job, window, media::realSystemServices());
    window.endProgress();
  }
  const batch::EntryCounts& counts = job.counts;
  // An analysis writes no result, so its tracks are not said to be processed.
  std::fprintf(stderr, "sonbalancer-cli: %u %s, %u skipped, %u failed", counts.processed,
               request.job.options.analyzeOnly ? "analyzed" : "processed", counts.skipped,
               counts.failed);
  if (counts.notMusic > 0) std::fprintf(stderr, ", %u not music", counts.notMusic);
  std::fprintf(stderr, " in %s\n", elapsedText(start).c_str());
  printText(stderr, (atOnce ? runView.stateText() : window.stateText()) + "\n");
  engine::releaseSampleBuffer(job.track.buffer);
  return exitStatusOf(job);
}
