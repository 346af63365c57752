// sonbalancer-cli: one SonBalancer job over a file or a folder, without a window, for scripts
// and machines without a display. The same set-up and per-file pipeline as the window.
#include <wx/cmdline.h>
#include <wx/init.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "batch/job_setup.h"
#include "batch/job_state.h"
#include "batch/native_path.h"
#include "batch/pipeline.h"
#include "batch/system_services.h"
#include "cli/console_window.h"
#include "platform/signals.h"
#include "platform/terminal.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExitDone = 0;
constexpr int kExitNothingDone = 1;
constexpr int kExitUsage = 2;
constexpr int kExitPartlyDone = 3;
// A job stopped by a signal exits as a shell reports a program that the signal ended.
constexpr int kExitSignalBase = 128;

const wxCmdLineEntryDesc kCommandLine[] = {
    {wxCMD_LINE_SWITCH, "h", "help", "show this help and exit", wxCMD_LINE_VAL_NONE,
     wxCMD_LINE_OPTION_HELP},
    {wxCMD_LINE_SWITCH, nullptr, "version", "show the version and exit", wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "log",
     "write the process log sonbalancer-log.txt into the working folder", wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "no-mp3", "do not encode the results to MP3 (they are by default)",
     wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "mp3-192k",
     "encode the MP3 files at 192 kbit/s instead of 128 kbit/s", wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_SWITCH, nullptr, "no-bassline", "the tracks have no bass line", wxCMD_LINE_VAL_NONE,
     0},
    {wxCMD_LINE_SWITCH, nullptr, "ignore-clicks", "ignore short clicks (vinyl records)",
     wxCMD_LINE_VAL_NONE, 0},
    {wxCMD_LINE_PARAM, nullptr, nullptr, "PATH", wxCMD_LINE_VAL_STRING, wxCMD_LINE_PARAM_OPTIONAL},
    {wxCMD_LINE_USAGE_TEXT, nullptr, nullptr,
     "\nPATH is a music file or a folder; the results go to the sub-folder sonbalanced beside it.\n"
     "Every music file that fails or is skipped for a fault gets a line on standard error, and\n"
     "the job ends with a line of what it processed, skipped and failed.\n"
     "Exit status: 0 when every music file gave its results, 1 when none did, 3 when some did\n"
     "and others failed, 2 for a usage error or a PATH that does not exist, 130 or 143 when\n"
     "stopped by SIGINT (Ctrl-C) or SIGTERM (the files not yet processed are left alone).",
     wxCMD_LINE_VAL_NONE, 0},
    wxCMD_LINE_DESC_END};

void printText(std::FILE* stream, const wxString& text) {
  std::fputs(batch::toNativePath(text).c_str(), stream);
}

// The set-up puts the output folder beside a single file, which for a bare relative name
// would be the root of the file system; so PATH is made absolute. "." parts and trailing
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
  if (counts.processed == 0) return kExitNothingDone;
  return counts.failed == 0 && counts.skippedForFault == 0 ? kExitDone : kExitPartlyDone;
}

}  // namespace

int main(int argc, char** argv) {
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

  wxCmdLineParser parser(kCommandLine, argc, argumentPointers.data());
  parser.SetLogo("sonbalancer-cli: evens out the tonal balance and level of music tracks.");
  const int parsed = parser.Parse(false);
  if (parsed == -1) {
    printText(stdout, parser.GetUsageString());
    return kExitDone;
  }
  if (parsed != 0) {
    printText(stderr, parser.GetUsageString());
    return kExitUsage;
  }
  if (parser.Found("version")) {
    std::printf("sonbalancer-cli (SonBalancer) %s\n", SONBALANCER_VERSION);
    return kExitDone;
  }
  if (parser.GetParamCount() != 1) {
    std::fputs("sonbalancer-cli: give one music file or folder\n", stderr);
    printText(stderr, parser.GetUsageString());
    return kExitUsage;
  }

  const std::string argument = batch::toNativePath(parser.GetParam(0));
  std::string path;
  std::error_code error;
  const fs::file_status status = fs::status(argument, error);
  if (!absolutePath(argument, path) || !fs::exists(status)) {
    std::fprintf(stderr, "sonbalancer-cli: %s: no such file or folder\n", argument.c_str());
    return kExitUsage;
  }
  const batch::JobMode mode =
      fs::is_directory(status) ? batch::JobMode::Folder : batch::JobMode::SingleFile;

  cli::CheckBoxes boxes;
  boxes.log = parser.Found("log");
  boxes.mp3 = !parser.Found("no-mp3");
  boxes.mp3At192k = parser.Found("mp3-192k");
  boxes.noBassline = parser.Found("no-bassline");
  boxes.ignoreClicks = parser.Found("ignore-clicks");
  const bool terminal = platform::standardErrorIsTerminal();
  cli::ConsoleWindow window(boxes, stderr,
                            terminal ? cli::ProgressStyle::Redrawn : cli::ProgressStyle::Lines,
                            terminal ? platform::standardErrorColumns() : 0);

  platform::installStopSignals();
  batch::JobState& job = batch::theJobState();
  if (!batch::startJob(job, window, mode, batch::fromNativePath(path))) {
    std::fprintf(stderr, "sonbalancer-cli: no file to process in %s\n", path.c_str());
    printText(stderr, window.stateText() + "\n");
    return kExitNothingDone;
  }
  // The window waits for its timer between entries; here they simply follow one another.
  while (job.running) batch::timerTick(job, window, batch::realSystemServices());
  window.endProgress();
  const batch::EntryCounts& counts = job.counts;
  std::fprintf(stderr, "sonbalancer-cli: %u processed, %u skipped, %u failed\n", counts.processed,
               counts.skipped, counts.failed);
  printText(stderr, window.stateText() + "\n");
  engine::releaseSampleBuffer(job.track.buffer);
  return exitStatusOf(job);
}
