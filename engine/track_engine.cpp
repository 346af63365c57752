#include "engine/track_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/blocks_ahead.h"
#include "engine/metadata_silencing.h"
#include "engine/pass_loop.h"
#include "engine/pcm_access.h"
#include "engine/rate_conversion.h"
#include "engine/sample_buffer.h"
#include "engine/wav_file.h"

namespace engine {

namespace {

// The last application hands the save its result in stretches of this many bytes.
constexpr std::uint32_t kApplyStretchBytes = std::uint32_t{1} << 18;

// The one read of the whole data, which the input does not outlive: it is closed before the
// long work on the samples, and before the job removes the file.
std::size_t readData(InputFile input, std::uint8_t* samples, std::uint32_t dataLength) {
  if (!input || dataLength == 0) return 0;
  return std::fread(samples, 1, dataLength, input.get());
}

// The passes with the last application on a thread of its own, while the save writes what it
// has finished.
void saveWhileApplyingLastPass(TrackState& track, const TrackFlags& flags, TrackHost& host,
                               ProcessLog& log) {
  std::uint8_t* const samples = track.buffer.bytes;
  CorrectionWalk lastApplication =
      runPassesUpToLastApplication(samples, track.targetLength, flags, host, log, track.observer);
  const std::uint32_t walkEnd = wholeFrameBytes(track.targetLength);
  BlocksAhead applied(walkEnd, kApplyStretchBytes, [&](std::uint32_t begin, std::uint32_t end) {
    applyCorrectionsTo(samples, track.targetLength, begin, end, lastApplication);
  });
  if (applied.start()) {
    saveResult(track, log, [&](std::uint32_t end) { applied.waitFor(std::min(end, walkEnd)); });
    return;
  }
  applyCorrectionsTo(samples, track.targetLength, 0, walkEnd, lastApplication);
  saveResult(track, log);
}

}  // namespace

void processTrack(TrackState& track, TrackHost& host, ProcessLog& log) {
  // Taken from the track at once, so that every way out below closes it.
  InputFile input = std::move(track.inputFile);
  track.outputPath.clear();
  const std::uint32_t dataLength = track.dataLength;
  const float rateFactor = track.rateFactor;
  const bool converting = needsRateConversion(rateFactor);
  const std::uint64_t targetLength =
      converting ? convertedLength(dataLength, rateFactor) : unconvertedLength(dataLength);
  const std::uint64_t requiredSpace = requiredSampleSpace(dataLength, targetLength);

  if (targetLength > kMaxTargetLength || requiredSpace > track.sampleSpaceLimit ||
      !obtainSampleBuffer(track.buffer, requiredSpace)) {
    log.write("Error: Not enough allocated memory !\n");
    log.print("source length = %ld - target length = %ld - required space = %ld\n",
              static_cast<long>(dataLength), static_cast<long>(targetLength),
              static_cast<long>(requiredSpace));
    track.mp3Requested = false;
    return;
  }
  track.targetLength = static_cast<std::uint32_t>(targetLength);

  TrackFlags flags;
  flags.noBassline = host.noBasslineTicked();
  flags.ignoreClicks = host.ignoreClicksTicked();
  flags.splitOnOwnThread = track.splitOnOwnThread;

  if (converting) log.write("Step 1: File resampling...  ");
  std::uint8_t* samples = track.buffer.bytes;
  // The track keeps its declared length even if the file came up short; what could not be
  // read is silence rather than whatever the block held before.
  const std::size_t readBytes = readData(std::move(input), samples, dataLength);
  if (readBytes < dataLength) std::memset(samples + readBytes, 0, dataLength - readBytes);

  const std::uint32_t audioStart = silenceMetadata(samples, dataLength, track.header, log);
  fadeIn(samples, dataLength, audioStart);

  if (converting) {
    if (track.targetLength < dataLength) {
      log.write("Shrinking...\n");
      shrinkFrames(samples, dataLength, track.targetLength, rateFactor);
    } else {
      log.write("Expanding...\n");
      expandFrames(samples, dataLength, track.targetLength, rateFactor);
    }
  }

  if (track.observer) track.observer->loaded(samples, track.targetLength);
  if (track.saveWanted && flags.splitOnOwnThread) {
    saveWhileApplyingLastPass(track, flags, host, log);
    return;
  }
  runPassLoop(samples, track.targetLength, flags, host, log, track.observer);
  if (track.saveWanted) saveResult(track, log);
}

}  // namespace engine
