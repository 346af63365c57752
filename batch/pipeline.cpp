#include "batch/pipeline.h"

#include <wx/intl.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "batch/album_replay_gain.h"
#include "batch/job_setup.h"
#include "batch/loudness_match.h"
#include "batch/memory_budget.h"
#include "batch/mp3_source_copy.h"
#include "batch/native_path.h"
#include "batch/result_names.h"
#include "batch/source_damage.h"
#include "batch/work_folders.h"
#include "engine/path_separator.h"
#include "engine/pcm_access.h"
#include "engine/track_engine.h"
#include "engine/wav_file.h"
#include "loudness/sample_block.h"
#include "loudness/track_figures.h"
#include "loudness/true_peak.h"
#include "loudness/true_peak_ceiling.h"
#include "media/converter_commands.h"
#include "media/mp3_step.h"
#include "media/source_tags.h"
#include "platform/file_identity.h"
#include "platform/folders.h"
#include "platform/signals.h"
#include "report/report_files.h"

namespace batch {

namespace {

// Gauge steps of one entry: value of the file gauge and the pause that lets it be seen.
constexpr int kEntryStartPercent = 0;
constexpr int kEntryStartPauseMs = 30;
constexpr int kConversionPercent = 5;
constexpr int kEnginePercent = 25;
constexpr int kMp3Percent = 95;
// The encoder's progress moves the gauge short of full, which only the end of the entry shows.
constexpr int kMp3EncodedPercent = 99;
constexpr int kStepPauseMs = 100;

// An entry is classified by the last characters of its path alone; no dot is required.
constexpr std::size_t kExtensionLength = 3;
// Longer paths are shown as "..." and their last kDisplayTailLength characters.
constexpr std::size_t kDisplayWholeLimit = 44;
constexpr std::size_t kDisplayTailLength = 45;

// The gauge at seconds of total, between the percents of a step's start and end; the gauge
// never goes back within the step.
class StepGauge {
 public:
  StepGauge(EntryHost& window, int startPercent, int endPercent)
      : window_(window),
        startPercent_(startPercent),
        endPercent_(endPercent),
        shown_(startPercent) {}

  void show(double seconds, double totalSeconds) {
    if (!(totalSeconds > 0.0) || !(seconds >= 0.0)) return;
    const double share = seconds < totalSeconds ? seconds / totalSeconds : 1.0;
    const int percent = startPercent_ + static_cast<int>(share * (endPercent_ - startPercent_));
    if (percent <= shown_) return;
    shown_ = percent;
    window_.fileGaugeMove(percent);
  }

 private:
  EntryHost& window_;
  const int startPercent_;
  const int endPercent_;
  int shown_;
};

EntryResult ended(EntryOutcome outcome, std::string reason = {}) {
  EntryResult result;
  result.outcome = outcome;
  result.reason = std::move(reason);
  return result;
}

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

// The formats that music libraries are kept in beside those above. Their extension is what
// follows the last dot of the name, whatever its length.
constexpr const char* kLibraryExtensions[] = {"flac", "m4a", "aac", "opus",
                                              "aif",  "aiff", "wv",  "ape"};

struct MediaType {
  EntryKind kind = EntryKind::NotMedia;
  // Lower-cased, as the type line shows it.
  wxString extension;
  // The extension is the whole of what follows the last dot, which the result names drop.
  bool wholeExtension = false;
};

MediaType mediaTypeOf(const wxString& entry) {
  MediaType type;
  type.extension = asciiLowerCase(entry.Right(kExtensionLength));
  type.kind = classify(type.extension);
  if (type.kind != EntryKind::NotMedia) return type;
  const wxString name = entry.AfterLast(engine::kPathSeparator);
  if (name.Find('.') == wxNOT_FOUND) return type;
  const wxString dotted = asciiLowerCase(name.AfterLast('.'));
  for (const char* library : kLibraryExtensions) {
    if (dotted == library) return MediaType{EntryKind::Converted, dotted, true};
  }
  return type;
}

}  // namespace

EntryKind entryKindOf(const wxString& entry) {
  const EntryKind kind = mediaTypeOf(entry).kind;
  // A WAV file that is not 16-bit PCM is read by the converter like any other media.
  if (kind == EntryKind::DirectWav && engine::wavNeedsConversion(toNativePath(entry))) {
    return EntryKind::Converted;
  }
  return kind;
}

namespace {

wxString displayNameOf(const wxString& path) {
  if (path.length() > kDisplayWholeLimit) return "..." + path.Right(kDisplayTailLength);
  return path;
}

std::string baseNameOf(const std::string& path) {
  const std::size_t separator = path.rfind(engine::kPathSeparator);
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// Said of a source of no bytes, which no reader could take, instead of the reader's fault.
constexpr char kEmptyFileReason[] = "the file is empty";

// Said of a source the system will not let us read, with the system's reason; nothing when it
// can be read.
std::optional<std::string> unreadableReason(const std::string& path) {
  const std::optional<std::string> fault = platform::readFault(path);
  if (!fault) return std::nullopt;
  return "could not be opened: " + *fault;
}

bool isEmptyFile(const std::string& path) {
  const std::optional<platform::FoundFile> found = platform::findFile(path);
  return found && found->sizeBytes == 0;
}

// Opens a WAV source for the engine as it stands.
EntryResult openDirectWav(EntryWork& work) {
  engine::TrackState& track = work.track;
  work.log.write("Step 1: WAV file to be directly processed...  ");
  engine::InputFile input = engine::openInputFile(track.sourcePath);
  if (!input) {
    work.log.write("ERROR: Could not open this file !\n");
    return ended(EntryOutcome::Failed,
                 unreadableReason(track.sourcePath).value_or("could not be opened"));
  }
  if (!engine::checkDirectWavHeader(track, std::move(input), work.log)) {
    return ended(EntryOutcome::Failed, isEmptyFile(track.sourcePath)
                                           ? kEmptyFileReason
                                           : "not a WAV file that can be read");
  }
  return {};
}

// Why the converter could not extract a source's audio, in a few words for the user.
std::string extractionFault(const platform::ChildOutcome& conversion,
                            const ConverterMessages& messages, const std::string& sourcePath) {
  if (!conversion.started) return "the converter ffmpeg was not found";
  if (std::optional<std::string> reason = unreadableReason(sourcePath)) return *reason;
  if (isEmptyFile(sourcePath)) return kEmptyFileReason;
  if (messages.noAudioStream()) return "it has no audio stream";
  return "its audio could not be extracted";
}

// Has the converter extract the source's audio into the temporary WAV file and opens that for
// the engine.
EntryResult convertAndOpen(EntryWork& work, const std::string& workFolderPath) {
  engine::TrackState& track = work.track;
  media::SystemServices& system = work.system;
  work.window.fileGaugeStep(kConversionPercent, kStepPauseMs);
  work.log.write("Step 1: Multimedia file to be pre-processed by ffmpeg...\n");
  // The log names the output folder's TMPOUT.WAV for any number of workers; the real file has
  // a private name in the job's work folder.
  const std::string temporaryWav = temporaryWavPath(workFolderPath, work.temporaryWavName);
  const media::ConverterCommand command = media::conversionCommand(
      track.sourcePath, temporaryWav, temporaryWavPath(track.outputFolderPath));
  work.log.print("%s\n", command.commandLine.c_str());

  // A temporary file left by an earlier run would make the converter refuse to overwrite it,
  // and its old audio must never pass for this track.
  system.deleteFile(temporaryWav);

  ConverterMessages messages;
  // The source's duration comes among the converter's first messages, before its progress.
  StepGauge gauge(work.window, kConversionPercent, kEnginePercent);
  const platform::ChildOutcome conversion = system.runConverter(
      command.arguments,
      [&messages](const char* bytes, std::size_t count) {
        messages.take(bytes, count);
        return true;
      },
      [&](double seconds) { gauge.show(seconds, messages.statedSeconds().value_or(0.0)); });
  // Whatever a failed or stopped conversion wrote is partial at best.
  if (conversion.interrupted) {
    if (conversion.started) system.deleteFile(temporaryWav);
    return ended(EntryOutcome::Stopped);
  }
  if (!platform::childSucceeded(conversion)) {
    work.log.write("Audio extraction failed! This file will not be processed.\n\n");
    if (conversion.started) system.deleteFile(temporaryWav);
    return ended(EntryOutcome::Failed, extractionFault(conversion, messages, track.sourcePath));
  }
  work.log.write("Audio extraction / conversion successful\n");

  // These lines have always named the file of a job that takes one entry at a time, also
  // when the entries run several at once.
  switch (engine::openConvertedInput(track, temporaryWav)) {
    case engine::ConvertedInput::Ready: {
      EntryResult opened;
      const std::string warning = sourceDamageWarning(messages, track.dataLength,
                                                      oggEndMissing(track.sourcePath));
      if (!warning.empty()) {
        work.log.print("WARNING: %s\n", warning.c_str());
        opened.record.sourceWarning = warning;
      }
      return opened;
    }
    case engine::ConvertedInput::CannotOpen:
      work.log.print("ERROR: Temporary file %s was deleted by another process !\n\n",
                     kTemporaryWavName);
      return ended(EntryOutcome::Failed, "the converted audio was not found");
    case engine::ConvertedInput::NoAudio:
      work.log.print(
          "ERROR: Temporary file %s holds no audio ! This file will not be processed.\n\n",
          kTemporaryWavName);
      system.deleteFile(temporaryWav);
      return ended(EntryOutcome::Failed, "the converted audio is empty or too long");
    case engine::ConvertedInput::TooLong:
      work.log.print(
          "ERROR: Temporary file %s is too long (4 GiB or more) ! This file will not be "
          "processed.\n\n",
          kTemporaryWavName);
      system.deleteFile(temporaryWav);
      return ended(EntryOutcome::Failed, "the converted audio is empty or too long");
  }
  return ended(EntryOutcome::Failed, "the converted audio could not be read");
}

// Album tags belong to the tracks of a folder, never to a file given on its own.
bool givenOnItsOwn(const JobState& job, const std::string& sourcePath) {
  return job.entriesOnTheirOwn.count(sourcePath) != 0;
}

ResultChoices choicesOfEntry(ResultChoices choices, const JobState& job,
                             const std::string& sourcePath) {
  if (choices.replayGain == ReplayGainChoice::Album && givenOnItsOwn(job, sourcePath)) {
    choices.replayGain = ReplayGainChoice::Track;
  }
  return choices;
}

media::Mp3Rate mp3RateOf(const JobOptions& options, bool at192k, const std::string& sourcePath) {
  media::Mp3Rate rate = chosenMp3Rate(options, at192k);
  if (!rate.vbrQuality && rate.kbps == media::Mp3Rate::kSameRate) {
    rate.kbps = media::sameRateKbps(sourcePath);
  }
  return rate;
}

// The saved result's MP3, lowered from the result's true peak; with a loudness match, encoded
// from copies matched for the encoder when the saved result's MP3 misses the target.
EntryResult encodeResultMp3(const JobOptions& options, EntryWork& work,
                            const AdmittedEntry& admitted, const media::TrackIdentity& identity,
                            double resultTruePeakDbtp, const std::optional<LoudnessMatch>& match) {
  const engine::TrackState& track = work.track;
  const std::string& mp3Path = admitted.names.mp3;
  media::Mp3Request request;
  request.wavPath = track.outputPath;
  request.mp3Path = mp3Path;
  request.partialMp3Path = temporaryResultPath(admitted.workFolderPath, "mp3");
  request.identity = &identity;
  request.rate = mp3RateOf(options, work.window.mp3At192kTicked(), track.sourcePath);
  request.frames = track.targetLength / engine::kFrameBytes;
  request.wavTruePeakDbtp = resultTruePeakDbtp;
  request.exactDecodedPeak = options.report;
  request.replayGain = options.replayGain;
  request.loudnessTargetLufs = options.loudnessTargetLufs;
  StepGauge gauge(work.window, kMp3Percent, kMp3EncodedPercent);
  const double seconds = static_cast<double>(request.frames) / loudness::kSampleRateHz;
  request.encodingProgress = [&](double encoded) { gauge.show(encoded, seconds); };
  std::optional<Mp3SourceCopies> copies;
  if (options.loudnessTargetLufs && match && match->applied) {
    copies.emplace(track.buffer.bytes, track.targetLength, match->gainDb,
                   temporaryResultPath(admitted.workFolderPath, "wav"), work.system);
    request.aimedSource = std::ref(*copies);
    request.wavLufs = match->integratedLufs;
  }
  work.log.write("MP3 re-encoding was requested... ");
  work.window.fileGaugeStep(kMp3Percent, kStepPauseMs);
  const media::Mp3Result mp3 = media::encodeMp3(request, work.system, work.log);
  copies.reset();
  EntryResult result;
  switch (mp3.outcome) {
    case media::Mp3Outcome::Whole:
      result.replayGainMissing = options.replayGain && !mp3.programme;
      result.record.resultMp3 = mp3Path;
      result.record.mp3GainDb = mp3.gainDb;
      result.record.mp3TruePeakDbtp = mp3.decodedTruePeakDbtp;
      result.record.mp3IntegratedLufs = mp3.decodedLufs;
      if (options.albumReplayGain && mp3.programme) {
        result.albumTrack = AlbumTrack{mp3Path, request.frames, mp3.programme, {}};
      }
      return result;
    case media::Mp3Outcome::Stopped:
      return ended(EntryOutcome::Stopped);
    case media::Mp3Outcome::Failed:
      break;
  }
  return ended(EntryOutcome::Failed, "its MP3 could not be encoded whole");
}

void deleteTemporaryWav(EntryWork& work, const std::string& workFolderPath) {
  const platform::DeleteOutcome outcome =
      work.system.deleteFile(temporaryWavPath(workFolderPath, work.temporaryWavName));
  if (outcome == platform::DeleteOutcome::Deleted) return;
  // Named as the conversion command's line names it.
  work.log.print("Unable to delete %s !\n", temporaryWavPath(work.track.outputFolderPath).c_str());
  work.log.write(outcome == platform::DeleteOutcome::AccessDenied ? "Cause: Access Denied\n\n"
                                                                  : "Cause: Not present\n\n");
}

// Makes room for the opened track's samples within the job's memory, waiting beside the other
// workers when it must, or refuses a track that can never fit; a refused track's input is
// closed.
EntryResult takeUpSampleSpace(EntryWork& work) {
  engine::TrackState& track = work.track;
  const std::optional<std::uint64_t> need = engine::sampleSpaceNeed(track);
  // The engine refuses a track too long for a result with lines of its own.
  if (!need) return {};
  Reservation reservation = Reservation::Granted;
  if (work.samples) {
    reservation = work.samples->takeUp(*need, [&] { return work.system.stopRequested(); });
  } else if (*need > track.sampleSpaceLimit) {
    reservation = Reservation::NeverFits;
  } else if (!sampleBlockServes(track.buffer, *need)) {
    engine::releaseSampleBuffer(track.buffer);
  }
  if (reservation == Reservation::Granted) return {};
  track.inputFile.reset();
  if (reservation == Reservation::Stopped) return ended(EntryOutcome::Stopped);
  const std::string reason = neverFitsReason(*need, track.sampleSpaceLimit);
  work.log.print("Error: This file %s ! It will not be processed.\n\n", reason.c_str());
  return ended(EntryOutcome::Failed, reason);
}

// Tells of a result named apart from its source's plain name.
void logResultNaming(const ResultNames& names, engine::ProcessLog& log) {
  if (names.sourcePassedOver) {
    log.print("A source file of this job has the result's name: results named %s\n",
              baseNameOf(names.wav).c_str());
  } else if (names.markedWithExtension) {
    log.print("An earlier file of this job has the same name: results named %s\n",
              baseNameOf(names.wav).c_str());
  }
}

// What the engine made of the track, with the loudness match done between its passes and the
// save.
struct ComputedTrack {
  engine::TrackOutcome outcome = engine::TrackOutcome::NoMemory;
  std::optional<LoudnessMatch> match;
  bool wavTagsMissing = false;

  bool computed() const {
    return outcome == engine::TrackOutcome::Saved || outcome == engine::TrackOutcome::Computed;
  }
};

// The entry's window to the engine, which also gives the track up when the job is asked to stop.
class EngineHost final : public engine::TrackHost {
 public:
  explicit EngineHost(EntryWork& work) : window_(work.window), system_(work.system) {}
  bool noBasslineTicked() override { return window_.noBasslineTicked(); }
  bool ignoreClicksTicked() override { return window_.ignoreClicksTicked(); }
  void fileGaugeStep(int percent, int pauseMs) override { window_.fileGaugeStep(percent, pauseMs); }
  bool stopAsked() override { return system_.stopRequested(); }

 private:
  EntryHost& window_;
  media::SystemServices& system_;
};

ComputedTrack runEngine(const JobOptions& options, EntryWork& work,
                        engine::TrackObserver* observer, const media::TrackIdentity& identity) {
  ComputedTrack computed;
  engine::TrackRun run;
  run.observer = observer;
  run.save = !options.analyzeOnly;
  if (options.wavTags && !identity.empty()) {
    run.beforeNaming = [&](const std::string& partialPath) {
      if (!media::writeWavIdentity(partialPath, identity)) {
        computed.wavTagsMissing = true;
        work.log.write("The source's tags and cover could not be carried into the WAV\n\n");
      }
    };
  }
  if (options.loudnessTargetLufs) {
    run.beforeSave = [&](std::uint8_t* samples, std::uint32_t targetLength) {
      computed.match = matchLoudness(samples, targetLength, *options.loudnessTargetLufs, work.log);
    };
  }
  // The engine closes the input and names its result in outputPath.
  EngineHost host(work);
  computed.outcome = engine::processTrack(work.track, host, work.log, run);
  return computed;
}

// The computed result's MP3 when the job wants one, and the results the entry keeps.
EntryResult deliverResult(const JobState& job, EntryWork& work, const AdmittedEntry& admitted,
                          const media::TrackIdentity& identity, double resultTruePeakDbtp,
                          const std::optional<LoudnessMatch>& match) {
  const JobOptions& options = job.options;
  const engine::TrackState& track = work.track;
  if (options.analyzeOnly) return ended(EntryOutcome::Analyzed);
  EntryResult result;
  result.wavSaved = true;
  if (work.system.stopRequested()) {
    result.outcome = EntryOutcome::Stopped;
    return result;
  }
  if (job.mp3Requested) {
    result = encodeResultMp3(options, work, admitted, identity, resultTruePeakDbtp, match);
    if (result.outcome == EntryOutcome::Processed && options.mp3Only &&
        work.system.deleteFile(track.outputPath) == platform::DeleteOutcome::Deleted) {
      work.log.print("Removed %s, as only the MP3 was asked for\n\n",
                     baseNameOf(track.outputPath).c_str());
    } else if (result.outcome != EntryOutcome::Stopped) {
      result.record.resultWav = track.outputPath;
    }
  } else {
    result.record.resultWav = track.outputPath;
  }
  result.wavSaved = true;
  return result;
}

// Runs the engine on the opened input and, when asked, the MP3 step; measures what the report
// tells of the track when there is one. The result's true peak is measured once, by the first
// step that needs it, and handed to the others.
EntryResult processOpenedTrack(const JobState& job, EntryWork& work, const AdmittedEntry& admitted,
                               bool sourceMayHoldTags) {
  engine::TrackState& track = work.track;
  const JobOptions& options = job.options;
  work.window.fileGaugeStep(kEnginePercent, kStepPauseMs);
  logResultNaming(admitted.names, work.log);
  loudness::TrackMeasurer measurer;
  // Read once, before the engine: the WAV takes it at its save, the MP3 after.
  const bool identityWanted = (job.mp3Requested || options.wavTags) && !options.analyzeOnly;
  const media::TrackIdentity identity = sourceMayHoldTags && identityWanted
                                            ? media::sourceIdentity(track.sourcePath, work.system)
                                            : media::TrackIdentity{};
  const ComputedTrack computed =
      runEngine(options, work, options.report ? &measurer : nullptr, identity);
  // A result that could not be saved costs this entry its MP3 and no other: the job's choice
  // of MP3 files is never changed by an entry, so that one file's failure does not spread to
  // the entries after it.
  if (computed.outcome == engine::TrackOutcome::Stopped) return ended(EntryOutcome::Stopped);
  if (!computed.computed()) {
    return ended(EntryOutcome::Failed, computed.outcome == engine::TrackOutcome::NoMemory
                                           ? "not enough memory for its samples"
                                           : "its result could not be written");
  }
  std::optional<report::TrackFigures> after;
  if (options.report) after = loudness::measureTrack(track.buffer.bytes, track.targetLength, true);
  std::optional<double> resultTruePeakDbtp;
  if (after) {
    resultTruePeakDbtp = after->truePeakDbtp;
  } else if (computed.match && computed.match->applied) {
    resultTruePeakDbtp = computed.match->truePeakDbtp;
  } else if (job.mp3Requested && !options.analyzeOnly) {
    // Only a peak above the ceiling lowers the MP3.
    loudness::TruePeakMeter meter(loudness::kTruePeakCeilingDbtp);
    meter.addWholePcm16(track.buffer.bytes, track.targetLength / engine::kFrameBytes);
    resultTruePeakDbtp = meter.truePeakDbtp();
  }
  EntryResult result = deliverResult(job, work, admitted, identity,
                                     resultTruePeakDbtp.value_or(0.0), computed.match);
  if (const std::optional<LoudnessMatch>& match = computed.match) {
    result.record.loudnessTargetLufs = options.loudnessTargetLufs;
    result.record.loudnessGainDb = match->gainDb;
    result.record.loudnessShortLu = match->shortLu;
  }
  result.record.after = after;
  result.wavTagsMissing = computed.wavTagsMissing;
  result.engineReached = true;
  if (options.report && measurer.passes > 0) {
    result.record.seconds = measurer.seconds;
    result.record.passes = measurer.passes;
    result.record.before = measurer.before;
    result.record.engineBandFactorsDb = measurer.engineBandFactorsDb;
  }
  return result;
}

// The results the entry would give.
std::vector<std::string> expectedResults(const JobState& job, const ResultNames& names) {
  std::vector<std::string> results;
  if (!job.options.mp3Only) results.push_back(names.wav);
  if (job.mp3Requested) results.push_back(names.mp3);
  return results;
}

// What every end of a job does, whole or stopped.
void closeJob(JobState& job, JobStatus& window) {
  job.track.outputFolderPath.clear();
  job.running = false;
  job.fileList.Clear();
  job.entryOutputFolders.clear();
  job.log.close();
  job.outputFolders.releaseAll();
  job.resultNames.clear();
  job.manifests.clear();
  job.albums.clear();
  if (!job.log.whole()) {
    window.notice("the process log " + fromNativePath(job.log.name()) +
                  " could not be written whole: it ends before the job did");
    job.jobFilesFailed = true;
  }
  if (!job.analysisFolder.empty()) {
    // The job's own private folder, holding at most what a stopped conversion left.
    std::error_code ignored;
    std::filesystem::remove_all(job.analysisFolder, ignored);
    job.analysisFolder.clear();
  }
}

std::string stopCause(const std::string& cause) {
  if (!cause.empty()) return cause;
  switch (platform::stopSignal()) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGPIPE:
      return "SIGPIPE";
    default:
      if (const char* reason = platform::stopReason()) return reason;
      return "stop requested";
  }
}

}  // namespace

AdmittedEntry admitEntry(JobState& job, EntryWork& work, const wxString& entry,
                         const std::string& outputFolderPath) {
  AdmittedEntry admitted;
  engine::TrackState& track = work.track;
  work.log.print("Parsing %s...\n", toNativePath(entry).c_str());
  // A path listed by name, or a file removed since the listing; a link that leads nowhere is
  // there, and refused below as not a regular file.
  if (platform::pathKindOf(toNativePath(entry)) == platform::PathKind::Missing) {
    work.log.write("No such file or folder - Not processed\n\n");
    admitted.result = ended(EntryOutcome::Failed, "no such file or folder");
    return admitted;
  }
  if (entry.length() <= kExtensionLength) {
    admitted.result = ended(EntryOutcome::NotMusic);
    return admitted;
  }
  track.sourcePath = toNativePath(entry);
  track.outputFolderPath = outputFolderPath;

  const MediaType type = mediaTypeOf(entry);
  const std::string nativeExtension = toNativePath(type.extension);
  work.log.print("Type: %s - ", nativeExtension.c_str());
  admitted.kind = type.kind;
  if (admitted.kind == EntryKind::NotMedia) {
    work.log.write("Not a multimedia file - Ignored\n\n");
    admitted.result = ended(EntryOutcome::NotMusic);
    return admitted;
  }
  // A pipe or a device would block the job or feed it without end.
  if (!platform::isRegularFile(track.sourcePath)) {
    work.log.write("Not a regular file (a folder, a device or a pipe) - Ignored\n\n");
    admitted.result = ended(EntryOutcome::Skipped, "not a regular file");
    return admitted;
  }
  // A job that saves nothing neither makes nor locks an output folder: its folder is private.
  const OutputFolder* folder =
      job.options.analyzeOnly ? nullptr : &job.outputFolders.claim(outputFolderPath);
  const FolderClaim claim = folder ? folder->claim : FolderClaim::Ready;
  admitted.workFolderPath = folder ? folder->workFolderPath : outputFolderPath;
  if (claim == FolderClaim::InUse && work.system.stopRequested()) {
    // The stop cut the wait for the folder short: the entry is left for a later job.
    admitted.result = ended(EntryOutcome::Stopped);
    return admitted;
  }
  if (claim == FolderClaim::InUse) {
    work.log.write("Output folder in use by another job - Not processed\n\n");
    admitted.result = ended(EntryOutcome::Skipped, "its output folder is in use by another job");
    admitted.result.folderInUse = true;
    return admitted;
  }
  if (claim == FolderClaim::NotAFolder) {
    work.log.write("Output folder is not a folder of its own - Not processed\n\n");
    admitted.result = ended(EntryOutcome::Skipped, "its output folder is a link or not a folder");
    return admitted;
  }
  if (claim != FolderClaim::Ready) {
    const FolderRefusal refusal = refusalOf(claim);
    work.log.write(refusal.logLine);
    admitted.result = ended(EntryOutcome::Skipped, refusal.reason);
    return admitted;
  }

  job.displayName = displayNameOf(entry);
  job.mediaSeen = true;
  admitted.names = job.resultNames.take(track.sourcePath, outputFolderPath, nativeExtension,
                                        type.wholeExtension);
  if (!job.options.analyzeOnly) {
    admitted.source = stampSource(job.sourceRoots, track.sourcePath);
    job.manifests.open(outputFolderPath);
    if (job.options.skipExisting) {
      const ResultsState state = job.manifests.judge(
          outputFolderPath, expectedResults(job, admitted.names), admitted.source,
          choicesOfEntry(job.resultChoices, job, track.sourcePath));
      if (state == ResultsState::Done) {
        work.log.write("Results newer than the source - Skipped\n\n");
        admitted.result = ended(EntryOutcome::UpToDate);
        // The report names the results kept, as it names those just made.
        report::TrackRecord& record = admitted.result.record;
        for (const std::string& kept : expectedResults(job, admitted.names)) {
          (kept == admitted.names.mp3 ? record.resultMp3 : record.resultWav) = kept;
        }
        return admitted;
      }
      if (const char* line = processedAgainLine(state)) work.log.write(line);
    }
    job.manifests.forget(outputFolderPath, {admitted.names.wav, admitted.names.mp3});
  }
  admitted.admitted = true;
  return admitted;
}

namespace {

EntryResult workOnAdmittedEntry(const JobState& job, EntryWork& work, const wxString& entry,
                                const AdmittedEntry& admitted) {
  engine::TrackState& track = work.track;
  work.window.setCurrentFileText(
      job.options.wholeEntryNames ? entry : wxGetTranslation(displayNameOf(entry)));
  track.resultPath = admitted.names.wav;
  track.partialResultPath = temporaryResultPath(admitted.workFolderPath, "wav");

  EntryKind kind = admitted.kind;
  // A WAV file that is not 16-bit PCM is read by the converter like any other media.
  if (kind == EntryKind::DirectWav && engine::wavNeedsConversion(track.sourcePath)) {
    kind = EntryKind::Converted;
  }
  // An entry that fails here holds no open input: only an accepted one is handed to the track.
  const EntryResult opened = kind == EntryKind::DirectWav
                                 ? openDirectWav(work)
                                 : convertAndOpen(work, admitted.workFolderPath);
  if (opened.outcome != EntryOutcome::Processed) return opened;
  // A rate field of 0, or data shorter than a frame, leaves nothing to balance: a result of
  // its header alone must neither pass for one nor enter an album's loudness.
  if (engine::targetLengthOf(track) == 0) {
    track.inputFile.reset();
    work.log.write("ERROR: No audio frames in this file ! It will not be processed.\n\n");
    if (kind == EntryKind::Converted) deleteTemporaryWav(work, admitted.workFolderPath);
    return ended(EntryOutcome::Failed, "no audio frames");
  }
  // Only a WAV file can be known to hold nothing but its audio; any other source is probed.
  const bool sourceMayHoldTags = kind != EntryKind::DirectWav || !engine::holdsAudioAlone(track);
  EntryResult result = takeUpSampleSpace(work);
  if (result.outcome == EntryOutcome::Processed) {
    result = processOpenedTrack(job, work, admitted, sourceMayHoldTags);
  }
  if (kind == EntryKind::Converted) deleteTemporaryWav(work, admitted.workFolderPath);
  result.record.sourceWarning = opened.record.sourceWarning;
  return result;
}

}  // namespace

EntryResult processAdmittedEntry(const JobState& job, EntryWork& work, const wxString& entry,
                                 const AdmittedEntry& admitted) {
  const auto start = std::chrono::steady_clock::now();
  // Read as the entry begins: the window's check boxes may change between entries.
  const ResultChoices choices = choicesOfEntry(
      resultChoicesOf(job.options, job.mp3Requested, work.window), job, toNativePath(entry));
  EntryResult result = workOnAdmittedEntry(job, work, entry, admitted);
  if (admitted.source && !job.options.analyzeOnly) {
    result.origin = ResultOrigin{*admitted.source, choices};
  }
  result.record.processingSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

namespace {

report::TrackStatus statusOf(EntryOutcome outcome) {
  switch (outcome) {
    case EntryOutcome::Processed:
      return report::TrackStatus::Processed;
    case EntryOutcome::Analyzed:
      return report::TrackStatus::Analyzed;
    case EntryOutcome::Failed:
      return report::TrackStatus::Failed;
    case EntryOutcome::NotMusic:
      return report::TrackStatus::NotMusic;
    default:
      return report::TrackStatus::Skipped;
  }
}

std::string reportReasonOf(const EntryResult& result) {
  switch (result.outcome) {
    case EntryOutcome::Processed:
    case EntryOutcome::Analyzed:
      return {};
    case EntryOutcome::NotMusic:
      return "not a multimedia file";
    case EntryOutcome::UpToDate:
      return "results newer than the source";
    default:
      return result.reason;
  }
}

void keepForReport(JobState& job, std::size_t index, const EntryResult& result) {
  if (!job.options.report || index >= job.reportTracks.size()) return;
  report::TrackRecord record = result.record;
  record.source = toNativePath(job.fileList[index]);
  record.status = statusOf(result.outcome);
  record.reason = reportReasonOf(result);
  job.reportTracks[index] = std::move(record);
}

// The report of the entries recorded so far, in list order.
void writeJobReport(JobState& job, JobStatus& window) {
  if (!job.options.report) return;
  job.report.tracks.clear();
  for (const std::optional<report::TrackRecord>& track : job.reportTracks) {
    if (track) job.report.tracks.push_back(*track);
  }
  const ReportTarget& target = job.reportTarget;
  if (report::writeReport(job.report, target.folder, target.baseName)) {
    job.lastReportPage = target.folder + engine::kPathSeparator + target.baseName + ".html";
  } else {
    // An earlier report left in place would be read as this job's: it goes. Writing the failure
    // into it instead would meet the same full disk or locked folder.
    const bool earlierGone = report::removeReport(target.folder, target.baseName);
    window.notice("the report could not be written into " + fromNativePath(target.folder) +
                  (earlierGone ? "" : "; the earlier report there could not be removed and is not "
                                      "this job's"));
    job.jobFilesFailed = true;
  }
  job.reportTracks.clear();
}

}  // namespace

void tellOfUnwrittenRecords(JobState& job, JobStatus& window, const std::string& folder) {
  if (!job.manifests.takeWriteFailure(folder)) return;
  window.notice(fromNativePath(folder + kResultManifestName) +
                ": the record of how its results were made could not be written");
  job.jobFilesFailed = true;
}

void recordEntry(JobState& job, JobStatus& window, std::size_t index, const EntryResult& result) {
  keepForReport(job, index, result);
  if (result.record.sourceWarning) {
    window.notice(job.fileList[index] + ": " + fromNativePath(*result.record.sourceWarning));
  }
  if (result.replayGainMissing) {
    window.notice(job.fileList[index] + ": its ReplayGain tags could not be written");
    job.jobFilesFailed = true;
  }
  if (job.options.albumReplayGain && !givenOnItsOwn(job, toNativePath(job.fileList[index])) &&
      (result.albumTrack || result.outcome == EntryOutcome::UpToDate)) {
    AlbumFolder& album = job.albums[outputFolderOf(job, index)];
    if (result.albumTrack) {
      AlbumTrack& track = album.tracks.emplace_back(*result.albumTrack);
      for (const auto& path : {result.record.resultWav, result.record.resultMp3}) {
        if (path) track.resultPaths.push_back(*path);
      }
    }
    if (result.outcome == EntryOutcome::UpToDate) album.partial = true;
  }
  if (result.record.loudnessShortLu.value_or(0.0) > 0.0 && job.options.loudnessTargetLufs) {
    char shortfall[160];
    std::snprintf(shortfall, sizeof shortfall,
                  ": %.2f LU short of %.1f LUFS for a true peak of at most %.1f dBTP",
                  *result.record.loudnessShortLu, *job.options.loudnessTargetLufs,
                  loudness::kTruePeakCeilingDbtp);
    window.notice(job.fileList[index] + shortfall);
  }
  if (result.origin) {
    const std::string& folder = outputFolderOf(job, index);
    const report::TrackRecord& saved = result.record;
    // The record says the tags the files carry, so that a later job makes again what lacks
    // them, even after a crash: none where they could not be written, and album tags only once
    // the album's are (writeAlbumReplayGain).
    ResultOrigin made = *result.origin;
    ReplayGainChoice& tags = made.choices.replayGain;
    if (result.replayGainMissing) {
      tags = ReplayGainChoice::None;
    } else if (tags == ReplayGainChoice::Album) {
      tags = ReplayGainChoice::Track;
    }
    if (result.wavTagsMissing) made.choices.wavTags = false;
    job.manifests.record(folder, {saved.resultWav.value_or(""), saved.resultMp3.value_or("")},
                         made);
    tellOfUnwrittenRecords(job, window, folder);
  }
  if (result.engineReached) job.engineReached = true;
  if (result.folderInUse) job.folderInUseSeen = true;
  if (result.wavSaved) {
    ++job.counts.wavSaved;
    // A folder claimed for the entry, so it is there to be found.
    if (OutputFolder* folder = job.outputFolders.find(outputFolderOf(job, index))) {
      folder->somethingSaved = true;
    }
  }
  EntryCounts& counts = job.counts;
  switch (result.outcome) {
    case EntryOutcome::Processed:
    case EntryOutcome::Analyzed:
      ++counts.processed;
      break;
    case EntryOutcome::NotMusic:
      ++counts.notMusic;
      break;
    case EntryOutcome::UpToDate:
      ++counts.skipped;
      ++counts.upToDate;
      break;
    case EntryOutcome::Skipped:
      ++counts.skipped;
      ++counts.skippedForFault;
      break;
    case EntryOutcome::Failed:
      ++counts.failed;
      break;
    case EntryOutcome::Stopped:
      return;
  }
  window.entryEnded(job.fileList[index], result.outcome, fromNativePath(result.reason));
}

const std::string& outputFolderOf(const JobState& job, std::size_t index) {
  return index < job.entryOutputFolders.size() ? job.entryOutputFolders[index]
                                               : job.track.outputFolderPath;
}

void endJob(JobState& job, JobStatus& window) {
  if (!job.mediaSeen) {
    job.log.write("\nERROR: No multimedia file in this folder !\n");
  } else if (!job.engineReached) {
    job.log.write(
        "\nERROR: File extractions could not be processed ! Check presence of FFMPEG.EXE !\n");
  }
  writeJobReport(job, window);
  closeJob(job, window);
  // Done only when a result exists: a job whose every save failed has done nothing.
  if (job.counts.wavSaved > 0 || (job.options.analyzeOnly && job.counts.processed > 0)) {
    window.setStateText(wxGetTranslation("DONE !"));
    return;
  }
  window.setStateText(wxGetTranslation(job.folderInUseSeen ? "BUSY" : "READY"));
  window.beep(kBeepFrequencyHz, kBeepDurationMs);
}

void stopJob(JobState& job, JobStatus& window, const std::string& cause) {
  if (!job.running) return;
  job.log.finishLine();
  job.log.print("\nJOB STOPPED (%s): the files not yet processed were left as they were.\n",
                stopCause(cause).c_str());
  job.stopped = true;
  writeJobReport(job, window);
  closeJob(job, window);
  window.setStateText(wxGetTranslation("STOPPED"));
}

void finishJob(JobState& job, JobStatus& window, media::SystemServices& system) {
  writeAlbumReplayGain(job, window, system);
  // A stop asked for while the album tags were written ends the job as at any other moment.
  if (system.stopRequested()) {
    stopJob(job, window);
  } else {
    endJob(job, window);
  }
}

void timerTick(JobState& job, JobWindow& window, media::SystemServices& system) {
  window.stopTimer();
  if (!job.running) return;
  // Whole or stopped, the job's end shows full gauges.
  auto fillGauges = [&window] {
    window.setGlobalGauge(100);
    window.setFileGauge(100);
  };
  if (system.stopRequested()) {
    fillGauges();
    stopJob(job, window);
    return;
  }
  window.fileGaugeStep(kEntryStartPercent, kEntryStartPauseMs);

  if (job.currentIndex < job.fileList.GetCount()) {
    const wxString entry = job.fileList[job.currentIndex];
    const std::string temporaryWavName = job.options.numberedTemporaryFiles
                                             ? numberedTemporaryWavName(job.currentIndex + 1)
                                             : std::string(kTemporaryWavName);
    EntryWork work{job.track, job.log, window, system, temporaryWavName};
    const AdmittedEntry admitted =
        admitEntry(job, work, entry, outputFolderOf(job, job.currentIndex));
    const EntryResult result =
        admitted.admitted ? processAdmittedEntry(job, work, entry, admitted) : admitted.result;
    if (result.outcome == EntryOutcome::Stopped) {
      fillGauges();
      stopJob(job, window);
      return;
    }
    recordEntry(job, window, job.currentIndex, result);
    job.log.commit();
  }

  ++job.currentIndex;
  if (job.currentIndex >= job.fileCount || job.currentIndex >= job.fileList.GetCount()) {
    fillGauges();
    finishJob(job, window, system);
    return;
  }
  window.setGlobalGauge(static_cast<int>(std::uint64_t{job.currentIndex} * 100 / job.fileCount));
  window.startTimer(kTickIntervalMs);
}

}  // namespace batch
