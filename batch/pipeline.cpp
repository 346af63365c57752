#include "batch/pipeline.h"

#include <wx/intl.h>

#include <cstdint>
#include <cstdio>

#include "batch/converter_commands.h"
#include "batch/job_setup.h"
#include "batch/native_path.h"
#include "engine/track_engine.h"
#include "engine/wav_file.h"

namespace batch {

namespace {

// Gauge steps of one entry: value of the file gauge and the pause that lets it be seen.
constexpr int kEntryStartPercent = 0;
constexpr int kEntryStartPauseMs = 30;
constexpr int kConversionPercent = 5;
constexpr int kEnginePercent = 25;
constexpr int kMp3Percent = 95;
constexpr int kStepPauseMs = 100;

// An entry is classified by the last characters of its path alone; no dot is required.
constexpr std::size_t kExtensionLength = 3;
// Longer paths are shown as "..." and their last kDisplayTailLength characters.
constexpr std::size_t kDisplayWholeLimit = 44;
constexpr std::size_t kDisplayTailLength = 45;

enum class EntryKind { NotMedia, DirectWav, Converted };

// Lower-cases A to Z only, as the C locale does.
wxString asciiLowerCase(const wxString& text) {
  wxString lower;
  for (wxUniChar c : text)
    lower += (c >= 'A' && c <= 'Z') ? wxUniChar(c.GetValue() + ('a' - 'A')) : c;
  return lower;
}

EntryKind classify(const wxString& extension) {
  static const char* const kConvertedExtensions[] = {"mp3", "mp4", "avi", "flv", "ogg",
                                                     "wma", "wmv", "mkv", "mpg"};
  if (extension == "wav") return EntryKind::DirectWav;
  for (const char* converted : kConvertedExtensions) {
    if (extension == converted) return EntryKind::Converted;
  }
  return EntryKind::NotMedia;
}

wxString displayNameOf(const wxString& path) {
  if (path.length() > kDisplayWholeLimit) return "..." + path.Right(kDisplayTailLength);
  return path;
}

bool childSucceeded(const platform::ChildOutcome& outcome) {
  return outcome.started && outcome.exitStatusRead && outcome.exitStatus == 0;
}

// Opens a WAV source for the engine as it stands. False when the entry is to be skipped.
bool openDirectWav(JobState& job) {
  engine::TrackState& track = job.track;
  job.log.write("Step 1: WAV file to be directly processed...  ");
  track.inputFile = std::fopen(track.sourcePath.c_str(), "rb");
  if (!track.inputFile) {
    job.log.write("ERROR: Could not open this file !\n");
    return false;
  }
  return engine::checkDirectWavHeader(track, job.log);
}

// Has the converter extract the source's audio into the temporary WAV file and opens that for
// the engine. False when the entry is to be skipped.
bool convertAndOpen(JobState& job, JobWindow& window, SystemServices& system) {
  engine::TrackState& track = job.track;
  window.fileGaugeStep(kConversionPercent, kStepPauseMs);
  job.log.write("Step 1: Multimedia file to be pre-processed by ffmpeg...\n");
  const ConverterCommand command = conversionCommand(track.sourcePath, track.outputFolderPath);
  job.log.print("%s\n", command.commandLine.c_str());

  // A temporary file left by an earlier run would make the converter refuse to overwrite it,
  // and its old audio must never pass for this track.
  const std::string temporaryWav = temporaryWavPath(track.outputFolderPath);
  system.deleteFile(temporaryWav);

  const platform::ChildOutcome conversion = system.runChild(command.arguments);
  if (!childSucceeded(conversion)) {
    job.log.write("Audio extraction failed! This file will not be processed.\n\n");
    // Whatever a failed conversion wrote is partial at best.
    if (conversion.started) system.deleteFile(temporaryWav);
    return false;
  }
  job.log.write("Audio extraction / conversion successful\n");

  switch (engine::openConvertedInput(track, temporaryWav, job.log)) {
    case engine::ConvertedInput::Ready:
      return true;
    case engine::ConvertedInput::CannotOpen:
      job.log.write("ERROR: Temporary file TMPOUT.WAV was deleted by another process !\n\n");
      return false;
    case engine::ConvertedInput::Unusable:
      system.deleteFile(temporaryWav);
      return false;
  }
  return false;
}

void encodeMp3(JobState& job, JobWindow& window, SystemServices& system) {
  const ConverterCommand command = mp3Command(job.track.outputPath, window.mp3At192kTicked());
  job.log.write("MP3 re-encoding was requested... ");
  window.fileGaugeStep(kMp3Percent, kStepPauseMs);
  // The converter does not overwrite an existing file: an MP3 from an earlier job would stay
  // and be reported as this job's.
  system.deleteFile(mp3TargetPath(job.track.outputPath));
  if (childSucceeded(system.runChild(command.arguments))) {
    job.log.write("OK\n\n");
  } else {
    job.log.write("Failed ! This should not happen...\n\n");
  }
}

void deleteTemporaryWav(JobState& job, SystemServices& system) {
  const std::string temporaryWav = temporaryWavPath(job.track.outputFolderPath);
  const platform::DeleteOutcome outcome = system.deleteFile(temporaryWav);
  if (outcome == platform::DeleteOutcome::Deleted) return;
  job.log.print("Unable to delete %s !\n", temporaryWav.c_str());
  job.log.write(outcome == platform::DeleteOutcome::AccessDenied ? "Cause: Access Denied\n\n"
                                                                 : "Cause: Not present\n\n");
}

void handleEntry(JobState& job, JobWindow& window, SystemServices& system, const wxString& entry) {
  if (entry.length() <= kExtensionLength) return;
  engine::TrackState& track = job.track;
  track.sourcePath = toNativePath(entry);

  const wxString extension = asciiLowerCase(entry.Right(kExtensionLength));
  job.log.print("Type: %s - ", toNativePath(extension).c_str());
  EntryKind kind = classify(extension);
  if (kind == EntryKind::NotMedia) {
    job.log.write("Not a multimedia file - Ignored\n\n");
    return;
  }

  job.displayName = displayNameOf(entry);
  window.setCurrentFileText(wxGetTranslation(job.displayName));
  job.mediaSeen = true;

  // A WAV file that is not 16-bit PCM is read by the converter like any other media.
  if (kind == EntryKind::DirectWav && engine::wavNeedsConversion(track.sourcePath)) {
    kind = EntryKind::Converted;
  }
  const bool opened =
      kind == EntryKind::DirectWav ? openDirectWav(job) : convertAndOpen(job, window, system);
  if (!opened) {
    engine::closeInput(track);
    return;
  }

  window.fileGaugeStep(kEnginePercent, kStepPauseMs);
  job.engineReached = true;
  // The engine clears the MP3 request when it could not write this track; that must cost this
  // track its MP3 and no other, so the job's choice is put back for the next entry.
  const bool jobWantsMp3 = track.mp3Requested;
  // The engine closes the input and names its result in outputPath, or leaves it empty.
  engine::processTrack(track, window, job.log);
  const bool entryWantsMp3 = track.mp3Requested && !track.outputPath.empty();
  track.mp3Requested = jobWantsMp3;

  if (entryWantsMp3) encodeMp3(job, window, system);
  if (kind == EntryKind::Converted) deleteTemporaryWav(job, system);
}

void endJob(JobState& job, JobWindow& window) {
  job.track.outputFolderPath.clear();
  window.setGlobalGauge(100);
  window.setFileGauge(100);
  job.running = false;
  job.fileList.Clear();
  if (!job.mediaSeen) {
    job.log.write("\nERROR: No multimedia file in this folder !\n");
  } else if (!job.engineReached) {
    job.log.write(
        "\nERROR: File extractions could not be processed ! Check presence of FFMPEG.EXE !\n");
  }
  job.log.close();
  if (job.engineReached) {
    window.setStateText(wxGetTranslation("DONE !"));
  } else {
    window.setStateText(wxGetTranslation("READY"));
    window.beep(kBeepFrequencyHz, kBeepDurationMs);
  }
}

}  // namespace

void timerTick(JobState& job, JobWindow& window, SystemServices& system) {
  window.stopTimer();
  if (!job.running) return;
  window.fileGaugeStep(kEntryStartPercent, kEntryStartPauseMs);

  if (job.currentIndex < job.fileList.GetCount()) {
    const wxString entry = job.fileList[job.currentIndex];
    job.log.print("Parsing %s...\n", toNativePath(entry).c_str());
    handleEntry(job, window, system, entry);
  }

  ++job.currentIndex;
  if (job.currentIndex >= job.fileCount || job.currentIndex >= job.fileList.GetCount()) {
    endJob(job, window);
    return;
  }
  window.setGlobalGauge(static_cast<int>(std::uint64_t{job.currentIndex} * 100 / job.fileCount));
  window.startTimer(kTickIntervalMs);
}

}  // namespace batch
