#include "engine/pass_loop.h"

#include "engine/apply_corrections.h"
#include "engine/band_split.h"
#include "engine/gains.h"
#include "engine/pcm_access.h"

namespace engine {

CorrectionWalk runPassesUpToLastApplication(std::uint8_t* samples, std::uint32_t targetLength,
                                            const TrackFlags& flags, TrackHost& host,
                                            ProcessLog& log, TrackObserver* observer) {
  // The second pass analyses the corrected output of the first afresh; a second pass never
  // calls for a third. The first pass's application of a double pass is walked block by block
  // within the second pass's split, so that each block is read from memory once for both.
  int passCount = 1;
  CorrectionWalk firstApplication{};
  const BlockPrelude applyFirstPass = [&](std::uint32_t begin, std::uint32_t end) {
    applyCorrectionsTo(samples, targetLength, begin, end, firstApplication);
  };
  for (int passIndex = 0; passIndex < passCount; ++passIndex) {
    if (passIndex > 0) {
      log.write("\nStep 1: Restarting from previously processed track in first pass...\n\n");
    }
    const ScanRecord record =
        splitAndScan(samples, targetLength, flags.ignoreClicks, host, log, flags.splitOnOwnThread,
                     passIndex > 0 ? applyFirstPass : BlockPrelude{});
    if (observer && passIndex == 0) observer->firstSplit(samples, targetLength);
    const Gains gains = correctionGains(record, flags, log);
    if (observer) observer->passGains(gains);
    if (passIndex == 0 && bandsFarApart(gains)) {
      passCount = 2;
      log.write("Note: A double pass process will be necessary.\n\n");
      firstApplication = startCorrections(gains, flags.ignoreClicks, log);
      continue;
    }
    return startCorrections(gains, flags.ignoreClicks, log);
  }
  return firstApplication;
}

void runPassLoop(std::uint8_t* samples, std::uint32_t targetLength, const TrackFlags& flags,
                 TrackHost& host, ProcessLog& log, TrackObserver* observer) {
  CorrectionWalk lastApplication =
      runPassesUpToLastApplication(samples, targetLength, flags, host, log, observer);
  applyCorrectionsTo(samples, targetLength, 0, wholeFrameBytes(targetLength), lastApplication);
}

}  // namespace engine
