#include "engine/band_split.h"

#include <atomic>
#include <system_error>
#include <thread>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/band_filters.h"
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
                HighBandCounters (&counters)[2], ScanRecord& record, LowBandExtremes& lowExtremes) {
  const std::uint8_t* const lowPlane = samples + targetLength;
  const std::uint8_t* const highPlane = samples + 2 * std::size_t{targetLength};
  for (std::uint32_t blockBegin = begin; blockBegin < end;) {
    const std::uint32_t blockEnd = end - blockBegin > kBlockBytes ? blockBegin + kBlockBytes : end;
    splitOf(blockBegin, blockEnd);
    recordMiddleRange(samples, blockBegin, blockEnd, record.left.middle);
    recordMiddleRange(samples + kRightOffset, blockBegin, blockEnd, record.right.middle);
    recordLowAndHigh(lowPlane, highPlane, blockBegin, blockEnd, ignoreClicks, record, counters,
                     lowExtremes);
    blockBegin = blockEnd;
  }
}

inline void spinPause() {
#if defined(__SSE2__)
  _mm_pause();
#endif
}

constexpr int kSpinsBeforeSleep = 4000;

// The split of a pass, block by block in order, each block after its prelude. The filter
// states of a channel start at its first value as the prelude leaves it, unscaled.
class PassSplit {
 public:
  PassSplit(std::uint8_t* samples, std::uint32_t targetLength, const BlockPrelude& prelude)
      : samples_(samples), targetLength_(targetLength), prelude_(prelude) {}

  void operator()(std::uint32_t begin, std::uint32_t end) {
    if (prelude_) prelude_(begin, end);
    if (begin == 0) {
      const std::int64_t firstLeft = loadSample(samples_);
      const std::int64_t firstRight = loadSample(samples_ + kRightOffset);
      filter_ = {{firstLeft, firstLeft}, {firstRight, firstRight}};
    }
    splitBlock(samples_, targetLength_, begin, end, filter_);
  }

 private:
  std::uint8_t* const samples_;
  const std::uint32_t targetLength_;
  const BlockPrelude& prelude_;
  FrameFilter filter_{};
};

// The split of a whole pass on a thread of its own, its filters being the one long serial chain
// of a pass. The scan follows on the calling thread a block or more behind and only reads the
// planes of the blocks published to it, which the split no longer touches.
class SplitAhead {
 public:
  SplitAhead(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t walkEnd,
             const BlockPrelude& prelude)
      : split_(samples, targetLength, prelude), walkEnd_(walkEnd) {}
  SplitAhead(const SplitAhead&) = delete;
  SplitAhead& operator=(const SplitAhead&) = delete;
  ~SplitAhead() {
    if (thread_.joinable()) thread_.join();
  }

  // False when no thread could be started; the scan then splits every block itself.
  bool start() {
    try {
      thread_ = std::thread([this] { splitAll(); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  // A block's split takes some microseconds, less than putting a thread to sleep and waking it
  // again costs, so the scan spins for a while before it sleeps.
  void waitFor(std::uint32_t end) {
    for (int spins = 0;; ++spins) {
      const std::uint32_t done = splitEnd_.load(std::memory_order_acquire);
      if (done >= end) return;
      if (spins < kSpinsBeforeSleep) {
        spinPause();
      } else {
        splitEnd_.wait(done, std::memory_order_acquire);
      }
    }
  }

 private:
  void splitAll() {
    for (std::uint32_t begin = 0; begin < walkEnd_;) {
      const std::uint32_t end = walkEnd_ - begin > kBlockBytes ? begin + kBlockBytes : walkEnd_;
      split_(begin, end);
      splitEnd_.store(end, std::memory_order_release);
      splitEnd_.notify_one();
      begin = end;
    }
  }

  PassSplit split_;
  const std::uint32_t walkEnd_;
  std::atomic<std::uint32_t> splitEnd_{0};
  std::thread thread_;
};

// The walk in stretches of one progress period, so the inner loops carry no gauge test; the
// gauge steps at the start of each stretch.
template <typename SplitOf>
void walkPass(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t walkEnd,
              bool ignoreClicks, SplitOf&& splitOf, TrackHost& host, ScanRecord& record) {
  HighBandCounters counters[2];
  LowBandExtremes lowExtremes;
  for (std::uint32_t begin = 0; begin < walkEnd;) {
    host.fileGaugeStep(scanGaugePercent(begin, targetLength), kGaugePauseMs);
    const std::uint32_t end =
        walkEnd - begin > kProgressPeriodBytes ? begin + kProgressPeriodBytes : walkEnd;
    scanFrames(samples, targetLength, begin, end, ignoreClicks, splitOf, counters, record,
               lowExtremes);
    begin = end;
  }
  mergeLowBandExtremes(lowExtremes, record);
}

}  // namespace

int scanGaugePercent(std::uint32_t frameOffset, std::uint32_t targetLength) {
  const std::uint32_t bytesPerPercent = targetLength / kGaugeSpan;
  if (bytesPerPercent == 0) return kGaugeBase;
  return static_cast<int>(frameOffset / bytesPerPercent) + kGaugeBase;
}

ScanRecord splitAndScan(std::uint8_t* samples, std::uint32_t targetLength, bool ignoreClicks,
                        TrackHost& host, ProcessLog& log, bool splitOnOwnThread,
                        const BlockPrelude& prelude) {
  log.write("\nStep 2: three-band filter and scanning...\n");
  ScanRecord record;
  // Only whole frames are walked; a length that is not a whole number of frames would
  // otherwise let the last frame's high band run past the end of its plane.
  const std::uint32_t walkEnd = wholeFrameBytes(targetLength);
  if (walkEnd != 0) {
    SplitAhead ahead(samples, targetLength, walkEnd, prelude);
    if (splitOnOwnThread && walkEnd > kBlockBytes && ahead.start()) {
      walkPass(
          samples, targetLength, walkEnd, ignoreClicks,
          [&](std::uint32_t, std::uint32_t end) { ahead.waitFor(end); }, host, record);
    } else {
      walkPass(samples, targetLength, walkEnd, ignoreClicks,
               PassSplit(samples, targetLength, prelude), host, record);
    }
  }
  writeScanLog(record, log);
  return record;
}

}  // namespace engine
