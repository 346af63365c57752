#include "engine/track_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/blocks_ahead.h"
#include "engine/metadata_silencing.h"
#include "engine/pass_loop.h"
#include "engine/pcm_access.h"
#include "engine/sample_buffer.h"
#include "engine/wav_file.h"

namespace engine {

namespace {

// The last application hands the save its result in stretches of this many bytes.
constexpr std::uint32_t kApplyStretchBytes = std::uint32_t{1} << 18;

// While the first pass splits the start of a track, its thread reads the rest; the first
// stretch is read before, for the metadata and the fade-in.
constexpr std::uint32_t kFirstReadBytes = std::uint32_t{1} << 20;

// The one read of the data, which the input does not outlive: it is closed as soon as the data
// is read, before the long work on the samples and before the job removes the file. The data
// may come in stretches, in order; from the first short read on, what the file does not hold
// reads as silence.
class DataRead {
 public:
  DataRead(InputFile input, std::uint8_t* samples, std::uint32_t length)
      : input_(std::move(input)), samples_(samples), length_(length) {
    if (length_ == 0) input_.reset();
  }

  void readTo(std::uint32_t end) {
    end = std::min(end, length_);
    if (end <= read_) return;
    const std::size_t wanted = end - read_;
    const std::size_t got = input_ ? std::fread(samples_ + read_, 1, wanted, input_.get()) : 0;
    if (got < wanted) {
      std::memset(samples_ + read_ + got, 0, wanted - got);
      input_.reset();
    }
    read_ = end;
    if (read_ == length_) input_.reset();
  }

  // The bytes read so far after some offset were moved up by bytes, and as many fell off the
  // end of what was read: they are read again, after it.
  void moveUp(std::uint32_t bytes) {
    if (input_ && bytes > 0 && std::fseek(input_.get(), -static_cast<long>(bytes), SEEK_CUR) != 0) {
      input_.reset();
    }
  }

  std::uint32_t loaded() const { return read_; }

 private:
  InputFile input_;
  std::uint8_t* const samples_;
  const std::uint32_t length_;
  std::uint32_t read_ = 0;
};

TrackOutcome savedOrNot(bool saved) {
  return saved ? TrackOutcome::Saved : TrackOutcome::NotWritten;
}

// The passes with the last application on a thread of its own, while the save writes what it
// has finished. A stop asked for once the save has begun lets it end: the result is whole.
TrackOutcome saveWhileApplyingLastPass(TrackState& track, const TrackFlags& flags, TrackHost& host,
                                       ProcessLog& log, const TrackRun& run,
                                       const FramesLoad& load) {
  TrackObserver* const observer = run.observer;
  std::uint8_t* const samples = track.buffer.bytes;
  std::optional<CorrectionWalk> lastApplication =
      runPassesUpToLastApplication(samples, track.targetLength, flags, host, log, observer, load);
  if (!lastApplication) return TrackOutcome::Stopped;
  const std::uint32_t walkEnd = wholeFrameBytes(track.targetLength);
  BlocksAhead applied(walkEnd, kApplyStretchBytes, [&](std::uint32_t begin, std::uint32_t end) {
    applyCorrectionsTo(samples, track.targetLength, begin, end, *lastApplication);
  });
  if (applied.start()) {
    return savedOrNot(saveResult(
        track, log, [&](std::uint32_t end) { applied.waitFor(std::min(end, walkEnd)); },
        run.beforeNaming));
  }
  applyCorrectionsTo(samples, track.targetLength, 0, walkEnd, *lastApplication);
  return savedOrNot(saveResult(track, log, {}, run.beforeNaming));
}

}  // namespace

// The data is taken at its own rate: a source far from 44100 Hz stereo reaches the engine
// through the converter's resampler.
std::uint64_t targetLengthOf(const TrackState& track) { return wholeFrameBytes(track.dataLength); }

std::optional<std::uint64_t> sampleSpaceNeed(const TrackState& track) {
  const std::uint64_t targetLength = targetLengthOf(track);
  if (targetLength > kMaxTargetLength) return std::nullopt;
  return requiredSampleSpace(track.dataLength, targetLength);
}

TrackOutcome processTrack(TrackState& track, TrackHost& host, ProcessLog& log,
                          const TrackRun& run) {
  // Taken from the track at once, so that every way out below closes it.
  InputFile input = std::move(track.inputFile);
  track.outputPath.clear();
  const std::uint32_t dataLength = track.dataLength;
  const std::uint64_t targetLength = targetLengthOf(track);
  const std::uint64_t requiredSpace = requiredSampleSpace(dataLength, targetLength);

  if (targetLength > kMaxTargetLength || requiredSpace > track.sampleSpaceLimit ||
      !obtainSampleBuffer(track.buffer, requiredSpace)) {
    log.write("Error: Not enough allocated memory !\n");
    log.print("source length = %ld - target length = %ld - required space = %ld\n",
              static_cast<long>(dataLength), static_cast<long>(targetLength),
              static_cast<long>(requiredSpace));
    return TrackOutcome::NoMemory;
  }
  track.targetLength = static_cast<std::uint32_t>(targetLength);

  TrackFlags flags;
  flags.noBassline = host.noBasslineTicked();
  flags.ignoreClicks = host.ignoreClicksTicked();
  flags.splitOnOwnThread = track.splitOnOwnThread;

  std::uint8_t* samples = track.buffer.bytes;
  // The track keeps its declared length even if the file came up short. A track read while it
  // is split needs only its whole frames: the low band's plane starts right after them.
  const bool readWhileSplitting =
      flags.splitOnOwnThread && !run.observer && dataLength > kFirstReadBytes;
  DataRead data(std::move(input), samples, readWhileSplitting ? track.targetLength : dataLength);
  data.readTo(readWhileSplitting ? kFirstReadBytes : dataLength);
  const FramesLoad load =
      readWhileSplitting ? FramesLoad([&](std::uint32_t end) { data.readTo(end); }) : FramesLoad{};

  const AudioStart audioStart = silenceMetadata(samples, data.loaded(), track.header, log);
  data.moveUp(audioStart.movedBy);
  fadeIn(samples, dataLength, audioStart.offset);

  if (run.observer) run.observer->loaded(samples, track.targetLength);
  // The save may follow the last application stretch by stretch only when nothing comes
  // between them.
  if (run.save && !run.beforeSave && flags.splitOnOwnThread) {
    return saveWhileApplyingLastPass(track, flags, host, log, run, load);
  }
  if (!runPassLoop(samples, track.targetLength, flags, host, log, run.observer, load)) {
    return TrackOutcome::Stopped;
  }
  if (run.beforeSave) run.beforeSave(samples, track.targetLength);
  if (!run.save) return TrackOutcome::Computed;
  return savedOrNot(saveResult(track, log, {}, run.beforeNaming));
}

}  // namespace engine
