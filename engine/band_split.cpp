#include "engine/band_split.h"

#include <algorithm>
#include <atomic>
#include <optional>

#include "engine/band_filters.h"
#include "engine/blocks_ahead.h"
#include "engine/middle_band.h"
#include "engine/pcm_access.h"
#include "engine/quiet_groups.h"
#include "engine/scan_log.h"

namespace engine {

namespace {

constexpr std::uint32_t kProgressPeriodBytes = std::uint32_t{1} << 24;
constexpr int kGaugeBase = 25;
constexpr std::uint32_t kGaugeSpan = 70;
constexpr int kGaugePauseMs = 30;

// Frames are split and recorded in blocks small enough for the three planes of a block to
// stay in the first-level cache between the steps; memory is still walked once. splitOf(begin,
// end) leaves the three bands of a block in its planes.
template <typename SplitOf>
void scanFrames(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                std::uint32_t end, bool ignoreClicks, SplitOf& splitOf,
                HighBandCounters (&counters)[2], ScanRecord& record, LowBandExtremes& lowExtremes,
                MiddleBandScan& middle, const BlockScanned& scanned) {
  const std::uint8_t* const lowPlane = samples + targetLength;
  const std::uint8_t* const highPlane = samples + 2 * std::size_t{targetLength};
  for (std::uint32_t blockBegin = begin; blockBegin < end;) {
    const std::uint32_t blockEnd = blockEndAfter(blockBegin, end);
    splitOf(blockBegin, blockEnd);
    middle.recordBlock(samples, blockBegin, blockEnd);
    recordLowAndHigh(lowPlane, highPlane, blockBegin, blockEnd, ignoreClicks, record, counters,
                     lowExtremes);
    if (scanned) scanned(blockBegin, blockEnd);
    blockBegin = blockEnd;
  }
}

// The split of a pass, block by block in order, each block after its prelude. The filter
// states of a channel start at its first value as the prelude leaves it, unscaled.
class PassSplit {
 public:
  PassSplit(std::uint8_t* samples, std::uint32_t targetLength, const BlockPrelude& prelude)
      : samples_(samples), targetLength_(targetLength), prelude_(prelude) {}

  void operator()(std::uint32_t begin, std::uint32_t end) {
    if (prelude_) prelude_(begin, end);
    if (begin == 0) filter_ = firstFrameStates(samples_);
    splitBlock(samples_, targetLength_, begin, end, filter_);
  }

 private:
  std::uint8_t* const samples_;
  const std::uint32_t targetLength_;
  const BlockPrelude& prelude_;
  FrameFilter filter_{};
};

// The scan's own share of a split shared with the split's thread: the blocks from a join on,
// from filter states proven there, split in order whenever the scan would otherwise wait.
class SplitFromJoin {
 public:
  SplitFromJoin(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t join,
                std::uint32_t walkEnd, const FrameFilter& joinState)
      : samples_(samples),
        targetLength_(targetLength),
        next_(join),
        walkEnd_(walkEnd),
        filter_(joinState) {}

  // False once every block is split.
  bool splitNext() {
    if (next_ >= walkEnd_) return false;
    const std::uint32_t end = blockEndAfter(next_, walkEnd_);
    splitBlock(samples_, targetLength_, next_, end, filter_);
    next_ = end;
    return true;
  }

  void splitUpTo(std::uint32_t end) {
    while (next_ < end && splitNext()) {
    }
  }

 private:
  std::uint8_t* const samples_;
  const std::uint32_t targetLength_;
  std::uint32_t next_;
  const std::uint32_t walkEnd_;
  FrameFilter filter_;
};

// A load is asked for this much more at a time.
constexpr std::uint32_t kLoadStretchBytes = std::uint32_t{1} << 20;

// Where a pass's split is shared between the two threads: the split's thread takes the blocks
// before the join, the scan's thread the rest besides scanning them all. The join lies at 9/16
// of the track, or at 11/16 when the scan's thread also brings the frames in, which balances
// the two on a track of music. The states at the join are proven from the frames just before it;
// 0 when the track is too short to share.
std::uint32_t shareJoin(std::uint32_t walkEnd, bool loading) {
  const std::uint32_t sixteenths = loading ? 11 : 9;
  const std::uint32_t join = walkEnd / 16 * sixteenths / kBlockBytes * kBlockBytes;
  return join >= kJoinProofBytes && walkEnd - join >= kBlockBytes ? join : 0;
}

// The walk in stretches of one progress period, so the inner loops carry no gauge test; the
// gauge steps at the start of each stretch. Each stretch goes in parts of kStopCheckBytes, which
// split it at block boundaries, with the stop asked for before each. False when the walk was
// given up for a stop.
template <typename SplitOf>
bool walkPass(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t walkEnd,
              bool ignoreClicks, SplitOf&& splitOf, TrackHost& host, ScanRecord& record,
              const BlockScanned& scanned) {
  HighBandCounters counters[2];
  LowBandExtremes lowExtremes;
  MiddleBandScan middle(walkEnd);
  for (std::uint32_t begin = 0; begin < walkEnd;) {
    host.fileGaugeStep(scanGaugePercent(begin, targetLength), kGaugePauseMs);
    const std::uint32_t end =
        walkEnd - begin > kProgressPeriodBytes ? begin + kProgressPeriodBytes : walkEnd;
    const bool whole =
        walkUnlessStopped(host, begin, end, [&](std::uint32_t part, std::uint32_t partEnd) {
          scanFrames(samples, targetLength, part, partEnd, ignoreClicks, splitOf, counters, record,
                     lowExtremes, middle, scanned);
        });
    if (!whole) return false;
    begin = end;
  }
  mergeLowBandExtremes(lowExtremes, record);
  middle.finish(samples, record);
  return true;
}

enum class SharedWalk { Whole, Stopped, NoThread };

// The pass with its split on a thread of its own, its filters being the one long serial chain of
// a pass. The scan follows a block or more behind and only reads the planes of the blocks
// published to it, which the split no longer touches. The scan's thread first brings the
// frames in, loading them or running the prelude on them in stretches, while the split follows
// it; then it splits the blocks after a proven join itself. The split's thread is held before
// the frames of the proof until they are in and proven, and it leaves the blocks after the join
// alone once they are the scan's. NoThread, with nothing walked or loaded, when no thread could
// be started. A stop asked for ends the split's thread after its block in hand.
SharedWalk walkWithSplitAhead(std::uint8_t* samples, std::uint32_t targetLength,
                              std::uint32_t walkEnd, bool ignoreClicks, const BlockPrelude& prelude,
                              const FramesLoad& load, const BlockScanned& scanned, TrackHost& host,
                              ScanRecord& record) {
  std::uint32_t preludesRun = 0;
  const FramesLoad runPreludes = [&](std::uint32_t end) {
    prelude(preludesRun, end);
    preludesRun = end;
  };
  const FramesLoad& bringIn = prelude ? runPreludes : load;
  const std::uint32_t join = shareJoin(walkEnd, static_cast<bool>(bringIn));
  const std::uint32_t proofBegin = join != 0 ? join - kJoinProofBytes : walkEnd;
  WalkProgress loaded;
  std::atomic<std::uint32_t> splitEnd{walkEnd};
  const BlockPrelude none;
  BlocksAhead ahead(walkEnd, kBlockBytes,
                    [&, split = PassSplit(samples, targetLength, none)](std::uint32_t begin,
                                                                        std::uint32_t end) mutable {
                      loaded.waitFor(end);
                      // Seen once the frames after the proof are published, which is the
                      // first time the answer matters.
                      if (end <= splitEnd.load(std::memory_order_relaxed)) split(begin, end);
                    });
  if (!ahead.start()) return SharedWalk::NoThread;
  // The split's thread may be waiting for frames that will not come.
  const auto giveUp = [&] {
    ahead.cancel();
    loaded.publish(walkEnd);
    return SharedWalk::Stopped;
  };
  for (std::uint32_t end = 0; bringIn && end < walkEnd;) {
    if (host.stopAsked()) return giveUp();
    end = walkEnd - end > kLoadStretchBytes ? end + kLoadStretchBytes : walkEnd;
    bringIn(end);
    loaded.publish(std::min(end, proofBegin));
  }
  const std::optional<FrameFilter> joinState =
      join != 0 ? provenFilterState(samples, proofBegin, join) : std::nullopt;
  const std::uint32_t aheadEnd = joinState ? join : walkEnd;
  splitEnd.store(aheadEnd, std::memory_order_relaxed);
  loaded.publish(walkEnd);
  if (!joinState) {
    const bool whole = walkPass(
        samples, targetLength, walkEnd, ignoreClicks,
        [&](std::uint32_t, std::uint32_t end) { ahead.waitFor(end); }, host, record, scanned);
    return whole ? SharedWalk::Whole : giveUp();
  }
  SplitFromJoin own(samples, targetLength, join, walkEnd, *joinState);
  const bool whole = walkPass(
      samples, targetLength, walkEnd, ignoreClicks,
      [&](std::uint32_t, std::uint32_t end) {
        if (end > aheadEnd) return own.splitUpTo(end);
        while (!ahead.reached(end) && own.splitNext()) {
        }
        ahead.waitFor(end);
      },
      host, record, scanned);
  return whole ? SharedWalk::Whole : giveUp();
}

}  // namespace

int scanGaugePercent(std::uint32_t frameOffset, std::uint32_t targetLength) {
  const std::uint32_t bytesPerPercent = targetLength / kGaugeSpan;
  if (bytesPerPercent == 0) return kGaugeBase;
  return static_cast<int>(frameOffset / bytesPerPercent) + kGaugeBase;
}

ScanRecord splitAndScan(std::uint8_t* samples, std::uint32_t targetLength, bool ignoreClicks,
                        TrackHost& host, ProcessLog& log, bool splitOnOwnThread,
                        const BlockPrelude& prelude, const FramesLoad& load,
                        const BlockScanned& scanned) {
  log.write("\nStep 2: three-band filter and scanning...\n");
  ScanRecord record;
  // Only whole frames are walked; a length that is not a whole number of frames would
  // otherwise let the last frame's high band run past the end of its plane.
  const std::uint32_t walkEnd = wholeFrameBytes(targetLength);
  if (walkEnd != 0) {
    SharedWalk walk = SharedWalk::NoThread;
    if (splitOnOwnThread && walkEnd > kBlockBytes) {
      walk = walkWithSplitAhead(samples, targetLength, walkEnd, ignoreClicks, prelude, load,
                                scanned, host, record);
    }
    if (walk == SharedWalk::NoThread) {
      if (load) load(walkEnd);
      walk = walkPass(samples, targetLength, walkEnd, ignoreClicks,
                      PassSplit(samples, targetLength, prelude), host, record, scanned)
                 ? SharedWalk::Whole
                 : SharedWalk::Stopped;
    }
    if (walk == SharedWalk::Stopped) return record;
  }
  writeScanLog(record, log);
  return record;
}

}  // namespace engine
