#include "engine/band_split.h"

#include <atomic>
#include <system_error>
#include <thread>

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

// The filters of a whole pass on a thread of their own. They are the one serial chain of the
// split; the bands and the scan of a block need only its filter states, so they follow on the
// calling thread a block or more behind. Each side writes only bytes the other no longer reads
// or does not read yet: the filters a block's low and high planes and nothing else, the bands
// that block's middle and high planes once its states are published.
class FiltersAhead {
 public:
  FiltersAhead(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t walkEnd,
               const FrameFilter& filter)
      : samples_(samples), targetLength_(targetLength), walkEnd_(walkEnd), filter_(filter) {}
  FiltersAhead(const FiltersAhead&) = delete;
  FiltersAhead& operator=(const FiltersAhead&) = delete;
  ~FiltersAhead() {
    if (thread_.joinable()) thread_.join();
  }

  // False when no thread could be started; the walk then splits every block itself.
  bool start() {
    try {
      thread_ = std::thread([this] { filterAll(); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  void waitFor(std::uint32_t end) {
    for (std::uint32_t done = filteredEnd_.load(std::memory_order_acquire); done < end;
         done = filteredEnd_.load(std::memory_order_acquire)) {
      filteredEnd_.wait(done, std::memory_order_acquire);
    }
  }

 private:
  void filterAll() {
    for (std::uint32_t begin = 0; begin < walkEnd_;) {
      const std::uint32_t end = walkEnd_ - begin > kBlockBytes ? begin + kBlockBytes : walkEnd_;
      filterStatesOfBlock(samples_, targetLength_, begin, end, filter_);
      filteredEnd_.store(end, std::memory_order_release);
      filteredEnd_.notify_one();
      begin = end;
    }
  }

  std::uint8_t* const samples_;
  const std::uint32_t targetLength_;
  const std::uint32_t walkEnd_;
  FrameFilter filter_;
  std::atomic<std::uint32_t> filteredEnd_{0};
  std::thread thread_;
};

// The walk in stretches of one progress period, so the inner loops carry no gauge test; the
// gauge steps at the start of each stretch.
template <typename SplitOf>
void walkPass(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t walkEnd,
              bool ignoreClicks, SplitOf splitOf, TrackHost& host, ScanRecord& record) {
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
                        TrackHost& host, ProcessLog& log, bool filtersOnOwnThread) {
  log.write("\nStep 2: three-band filter and scanning...\n");
  ScanRecord record;
  // Only whole frames are walked; a length that is not a whole number of frames would
  // otherwise let the last frame's high band run past the end of its plane.
  const std::uint32_t walkEnd = wholeFrameBytes(targetLength);
  if (walkEnd != 0) {
    // Both filter states of a channel start at its first value, unscaled.
    const std::int64_t firstLeft = loadSample(samples);
    const std::int64_t firstRight = loadSample(samples + kRightOffset);
    FrameFilter filter{{firstLeft, firstLeft}, {firstRight, firstRight}};
    FiltersAhead ahead(samples, targetLength, walkEnd, filter);
    if (filtersOnOwnThread && walkEnd > kBlockBytes && ahead.start()) {
      walkPass(
          samples, targetLength, walkEnd, ignoreClicks,
          [&](std::uint32_t begin, std::uint32_t end) {
            ahead.waitFor(end);
            bandsOfFilteredBlock(samples, targetLength, begin, end);
          },
          host, record);
    } else {
      walkPass(
          samples, targetLength, walkEnd, ignoreClicks,
          [&](std::uint32_t begin, std::uint32_t end) {
            splitBlock(samples, targetLength, begin, end, filter);
          },
          host, record);
    }
  }
  writeScanLog(record, log);
  return record;
}

}  // namespace engine
