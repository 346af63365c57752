// Speed of the loudness layer against libebur128 on the same five-minute 44100 Hz stereo
// 16-bit track: the true peak, the integrated loudness and both at once, on a song with loud
// and softer parts and on a hot master clipped at full scale (whose every block reaches the
// peak, so none is skipped). Prints how many times less CPU time ours takes.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "loudness/integrated_loudness.h"
#include "loudness/track_measurement.h"
#include "loudness/true_peak.h"
#include "tests/support/music_signal.h"
#include "tests/support/reference_meter.h"

namespace {

constexpr double kTrackSeconds = 5 * 60;

struct Track {
  const char* name;
  std::vector<std::int16_t> values;
  std::vector<std::uint8_t> bytes;
};

Track makeTrack(const char* name, double peakDbfs) {
  Track track{
      name,
      testing_support::pcm16Of(testing_support::musicLike(kTrackSeconds, peakDbfs, 1, false)),
      {}};
  track.bytes = testing_support::pcm16Bytes(track.values);
  return track;
}

enum class Figure { kTruePeak, kLoudness, kBoth };
constexpr const char* kFigureNames[] = {"true peak", "integrated loudness", "both at once"};

void measureOurs(benchmark::State& state, Figure figure, const Track* track) {
  const std::size_t frames = track->bytes.size() / loudness::kPcm16FrameBytes;
  for (auto _ : state) {
    if (figure == Figure::kTruePeak) {
      benchmark::DoNotOptimize(
          loudness::truePeakDbtpOfPcm16(track->bytes.data(), track->bytes.size()));
    } else if (figure == Figure::kLoudness) {
      loudness::LoudnessMeter meter;
      meter.addWholePcm16(track->bytes.data(), frames);
      benchmark::DoNotOptimize(meter.integratedLufs());
    } else {
      benchmark::DoNotOptimize(loudness::measurePcm16(track->bytes.data(), track->bytes.size()));
    }
  }
}

void measureLibebur128(benchmark::State& state, Figure figure, const Track* track) {
  const int modes[] = {EBUR128_MODE_TRUE_PEAK, EBUR128_MODE_I,
                       EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK};
  for (auto _ : state) {
    testing_support::ReferenceMeter meter(modes[static_cast<int>(figure)]);
    meter.add(track->values);
    benchmark::DoNotOptimize(figure == Figure::kLoudness ? meter.integratedLufs()
                                                         : meter.truePeak());
  }
}

// Shows every run as usual and keeps its CPU time per iteration by name.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> cpuSeconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (!run.error_occurred && run.iterations > 0) {
        cpuSeconds[run.benchmark_name()] =
            run.cpu_accumulated_time / static_cast<double>(run.iterations);
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  const Track tracks[] = {makeTrack("song", -1.0), makeTrack("hot master", 6.0)};
  for (const Track& track : tracks) {
    for (Figure figure : {Figure::kTruePeak, Figure::kLoudness, Figure::kBoth}) {
      const std::string name =
          std::string(kFigureNames[static_cast<int>(figure)]) + "/" + track.name;
      benchmark::RegisterBenchmark((name + "/libebur128").c_str(), measureLibebur128, figure,
                                   &track)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark((name + "/ours").c_str(), measureOurs, figure, &track)
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nCPU time of libebur128 / ours:\n");
  for (const Track& track : tracks) {
    for (const char* figure : kFigureNames) {
      const std::string name = std::string(figure) + "/" + track.name;
      const auto reference = reporter.cpuSeconds.find(name + "/libebur128");
      const auto ours = reporter.cpuSeconds.find(name + "/ours");
      if (reference == reporter.cpuSeconds.end() || ours == reporter.cpuSeconds.end()) continue;
      std::printf("  %-36s %8.1f ms / %6.1f ms = %5.1f\n", name.c_str(), 1e3 * reference->second,
                  1e3 * ours->second, reference->second / ours->second);
    }
  }
  benchmark::Shutdown();
  return 0;
}
