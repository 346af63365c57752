// Speed of the engine on a five-minute 44100 Hz stereo track whose strong bass and weak middle
// call for two passes: the passes alone, and the whole run from the open WAV to the saved result,
// with the sample block reused (warm) or fresh (cold, as every run of the command starts).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "batch/sample_blocks.h"
#include "engine/apply_corrections.h"
#include "engine/band_split.h"
#include "engine/pass_loop.h"
#include "engine/pcm_access.h"
#include "engine/track_engine.h"
#include "engine/wav_file.h"
#include "tests/engine/wav_bytes.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr std::uint32_t kFrameCount = 5 * 60 * 44100;
constexpr std::uint32_t kTrackBytes = kFrameCount * 4;

class QuietHost final : public engine::TrackHost {
 public:
  bool noBasslineTicked() override { return false; }
  bool ignoreClicksTicked() override { return false; }
  void fileGaugeStep(int, int) override {}
};

// A log that is on but keeps only the restart count, so formatting is paid for without a file.
class CountingLog final : public engine::ProcessLog {
 public:
  int restarts = 0;
  bool isOn() const override { return true; }
  void write(std::string_view text) override {
    if (text.find("Restarting") != std::string_view::npos) ++restarts;
  }
};

// A 110 Hz triangle bass near −6 dB under a faint treble and hiss.
void fillTrack(std::uint8_t* samples) {
  std::uint64_t noise = 12345;
  for (std::uint32_t i = 0; i < kFrameCount; ++i) {
    const int t = static_cast<int>(i % 400);
    const int bass = (t < 200 ? t : 400 - t) * 160 - 16000;
    const int treble = static_cast<int>((i * 7) % 5) * 300 - 600;
    noise = (noise * 1103515245 + 12345) % (std::uint64_t{1} << 31);
    const int hiss = static_cast<int>((noise >> 16) % 201) - 100;
    engine::storeSample(samples + 4 * i, static_cast<std::int16_t>(bass + treble + hiss));
    engine::storeSample(samples + 4 * i + 2,
                        static_cast<std::int16_t>(bass / 2 - 2 * treble + hiss));
  }
}

void BM_PassLoop(benchmark::State& state) {
  std::vector<std::uint8_t> track(3 * std::size_t{kTrackBytes});
  fillTrack(track.data());
  std::vector<std::uint8_t> samples(track.size());
  QuietHost host;
  engine::SilentLog silent;
  CountingLog counting;
  const bool logOn = state.range(0) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(samples.data(), track.data(), kTrackBytes);
    state.ResumeTiming();
    engine::runPassLoop(samples.data(), kTrackBytes, {}, host,
                        logOn ? static_cast<engine::ProcessLog&>(counting) : silent);
    benchmark::DoNotOptimize(samples.data());
  }
  if (logOn && counting.restarts == 0) state.SkipWithError("the track took a single pass");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kTrackBytes);
}
BENCHMARK(BM_PassLoop)->Arg(0)->Arg(1)->ArgName("log")->Unit(benchmark::kMillisecond);

// The steps of one pass on their own, on the first pass's input: the scan (clicks heeded or
// ignored) and the application of unit-free gains that make the limiter clamp now and then.
void BM_SplitAndScan(benchmark::State& state) {
  std::vector<std::uint8_t> track(3 * std::size_t{kTrackBytes});
  fillTrack(track.data());
  std::vector<std::uint8_t> samples(track.size());
  QuietHost host;
  engine::SilentLog silent;
  const bool ignoreClicks = state.range(0) != 0;
  const bool splitOnOwnThread = state.range(1) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(samples.data(), track.data(), kTrackBytes);
    state.ResumeTiming();
    benchmark::DoNotOptimize(engine::splitAndScan(samples.data(), kTrackBytes, ignoreClicks, host,
                                                  silent, splitOnOwnThread));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kTrackBytes);
}
BENCHMARK(BM_SplitAndScan)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"ignore_clicks", "own_thread"})
    ->Unit(benchmark::kMillisecond);

void BM_ApplyCorrections(benchmark::State& state) {
  std::vector<std::uint8_t> track(3 * std::size_t{kTrackBytes});
  fillTrack(track.data());
  QuietHost host;
  engine::SilentLog silent;
  engine::splitAndScan(track.data(), kTrackBytes, false, host, silent);
  std::vector<std::uint8_t> samples = track;
  const bool ignoreClicks = state.range(0) != 0;
  const engine::Gains gains{{1.9f, 3.1f, 2.0f}, {1.7f, 2.9f, 1.5f}};
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(samples.data(), track.data(), kTrackBytes);
    state.ResumeTiming();
    engine::applyCorrections(samples.data(), kTrackBytes, gains, ignoreClicks, silent);
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kTrackBytes);
}
BENCHMARK(BM_ApplyCorrections)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("ignore_clicks")
    ->Unit(benchmark::kMillisecond);

void BM_SaveResult(benchmark::State& state) {
  testing_support::TempFolder folder;
  engine::TrackState track;
  track.sourcePath = folder / "five_minutes.wav";
  track.outputFolderPath = folder.path().string() + "/";
  track.resultPath = track.outputFolderPath + "five_minutes_eq.wav";
  track.partialResultPath = track.resultPath + ".part";
  engine::obtainSampleBuffer(track.buffer, 3 * std::uint64_t{kTrackBytes});
  fillTrack(track.buffer.bytes);
  track.targetLength = kTrackBytes;
  engine::SilentLog silent;
  for (auto _ : state) {
    if (!engine::saveResult(track, silent)) {
      state.SkipWithError("no result was saved");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kTrackBytes);
  engine::releaseSampleBuffer(track.buffer);
}
BENCHMARK(BM_SaveResult)->Unit(benchmark::kMillisecond);

void BM_ProcessTrack(benchmark::State& state) {
  testing_support::TempFolder folder;
  const std::string sourcePath = folder / "five_minutes.wav";
  {
    std::vector<std::uint8_t> samples(kTrackBytes);
    fillTrack(samples.data());
    testing_support::writeFile(
        sourcePath, wav_testing::plainWav(2, 44100, std::string(samples.begin(), samples.end())));
  }
  engine::TrackState track;
  track.sourcePath = sourcePath;
  track.outputFolderPath = folder.path().string() + "/";
  track.resultPath = track.outputFolderPath + "five_minutes_eq.wav";
  track.partialResultPath = track.resultPath + ".part";
  QuietHost host;
  engine::SilentLog silent;
  CountingLog counting;
  const bool logOn = state.range(0) != 0;
  engine::ProcessLog& log = logOn ? static_cast<engine::ProcessLog&>(counting) : silent;
  // 0: the block of the last run reused; 1: a fresh block from the heap, as every run of the
  // command paid before; 2: a fresh block of the system's large blocks, as the command runs.
  const auto start = state.range(1);
  if (start == 2) batch::drawLargeSampleBlocks(track.buffer);
  for (auto _ : state) {
    if (start != 0) engine::releaseSampleBuffer(track.buffer);
    engine::InputFile input = engine::openInputFile(sourcePath);
    if (!input || !engine::checkDirectWavHeader(track, std::move(input), log)) {
      state.SkipWithError("the generated track could not be opened");
      break;
    }
    if (engine::processTrack(track, host, log) != engine::TrackOutcome::Saved) {
      state.SkipWithError("no result was saved");
      break;
    }
  }
  if (logOn && counting.restarts == 0) state.SkipWithError("the track took a single pass");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kTrackBytes);
  engine::releaseSampleBuffer(track.buffer);
}
BENCHMARK(BM_ProcessTrack)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->ArgNames({"log", "start"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
