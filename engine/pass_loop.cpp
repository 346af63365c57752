#include "engine/pass_loop.h"

#include "engine/apply_corrections.h"
#include "engine/band_split.h"
#include "engine/gains.h"
#include "engine/pcm_access.h"

namespace engine {

namespace {

// Every pass up to its last application; returns the gains for that application, or none when
// the track was given up for a stop. The second pass analyses the corrected output of the first
// afresh; a second pass never calls for a third. The first pass's application of a double pass
// is the second pass's prelude, walked as splitAndScan says: within its split on one thread,
// ahead of it on two.
std::optional<Gains> passesUpToLastApplication(std::uint8_t* samples, std::uint32_t targetLength,
                                               const TrackFlags& flags, TrackHost& host,
                                               ProcessLog& log, TrackObserver* observer,
                                               const FramesLoad& load) {
  CorrectionWalk firstApplication{};
  const BlockPrelude applyFirstPass = [&](std::uint32_t begin, std::uint32_t end) {
    applyCorrectionsTo(samples, targetLength, begin, end, firstApplication);
  };
  const BlockScanned showFirstSplit = [&](std::uint32_t begin, std::uint32_t end) {
    observer->firstSplitBlock(samples, targetLength, begin, end);
  };
  for (int passIndex = 0;; ++passIndex) {
    if (passIndex > 0) {
      log.write("\nStep 1: Restarting from previously processed track in first pass...\n\n");
    }
    const ScanRecord record = splitAndScan(
        samples, targetLength, flags.ignoreClicks, host, log, flags.splitOnOwnThread,
        passIndex > 0 ? applyFirstPass : BlockPrelude{}, passIndex == 0 ? load : FramesLoad{},
        observer && passIndex == 0 ? showFirstSplit : BlockScanned{});
    if (host.stopAsked()) return std::nullopt;
    const Gains gains = correctionGains(record, flags, log);
    if (observer) observer->passGains(gains);
    if (passIndex > 0 || !bandsFarApart(gains)) return gains;
    log.write("Note: A double pass process will be necessary.\n\n");
    firstApplication = startCorrections(gains, flags.ignoreClicks, log);
  }
}

}  // namespace

bool runPassLoop(std::uint8_t* samples, std::uint32_t targetLength, const TrackFlags& flags,
                 TrackHost& host, ProcessLog& log, TrackObserver* observer,
                 const FramesLoad& load) {
  std::optional<CorrectionWalk> application =
      runPassesUpToLastApplication(samples, targetLength, flags, host, log, observer, load);
  if (!application) return false;
  return walkUnlessStopped(host, 0, wholeFrameBytes(targetLength),
                           [&](std::uint32_t begin, std::uint32_t end) {
                             applyCorrectionsTo(samples, targetLength, begin, end, *application);
                           });
}

std::optional<CorrectionWalk> runPassesUpToLastApplication(std::uint8_t* samples,
                                                           std::uint32_t targetLength,
                                                           const TrackFlags& flags, TrackHost& host,
                                                           ProcessLog& log, TrackObserver* observer,
                                                           const FramesLoad& load) {
  const std::optional<Gains> gains =
      passesUpToLastApplication(samples, targetLength, flags, host, log, observer, load);
  if (!gains) return std::nullopt;
  return startCorrections(*gains, flags.ignoreClicks, log);
}

}  // namespace engine
