// The figures a report gives beside loudness and peaks: the loudness range against
// libebur128's, the band levels of a split beside the audio against the engine's own planes,
// the third-octave levels of tones whose levels are known, and every figure's bits on every
// path.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>
#include <utility>
#include <vector>

#include "engine/band_split.h"
#include "engine/pass_loop.h"
#include "engine/pcm_access.h"
#include "engine/process_log.h"
#include "engine/track_host.h"
#include "loudness/band_levels.h"
#include "loudness/loudness_range.h"
#include "loudness/spectrum.h"
#include "loudness/track_figures.h"
#include "loudness/track_measurement.h"
#include "tests/support/music_signal.h"
#include "tests/support/reference_meter.h"

namespace {

using testing_support::musicLike;
using testing_support::pcm16Bytes;
using testing_support::pcm16Of;

double referenceRange(const std::vector<float>& samples) {
  testing_support::ReferenceMeter reference(EBUR128_MODE_LRA);
  reference.add(samples);
  double range = -1.0;
  EXPECT_EQ(ebur128_loudness_range(reference.state(), &range), EBUR128_SUCCESS);
  return range;
}

double ourRange(const std::vector<float>& samples) {
  loudness::LoudnessMeter meter;
  // In uneven pieces: blocks are counted across them.
  const std::size_t frames = samples.size() / 2;
  for (std::size_t done = 0; done < frames;) {
    const std::size_t count = std::min<std::size_t>(frames - done, 3001);
    meter.addFloat(samples.data() + 2 * done, count);
    done += count;
  }
  return loudness::loudnessRangeLu(meter);
}

TEST(LoudnessRange, AgreesWithLibebur128OnSongsQuietPartsAndShortAudio) {
  for (const bool quietSections : {false, true}) {
    for (const double seconds : {2.5, 3.05, 40.0}) {
      SCOPED_TRACE(testing::Message() << quietSections << " " << seconds);
      const std::vector<float> samples = musicLike(seconds, -3.0, 7, quietSections);
      EXPECT_NEAR(ourRange(samples), referenceRange(samples), 0.01);
    }
  }
  const std::vector<float> steady = musicLike(30.0, -3.0, 5, false);
  EXPECT_GT(ourRange(steady), 1.0);
  EXPECT_EQ(ourRange(std::vector<float>(44100 * 10 * 2, 0.0f)), 0.0);
}

class QuietHost final : public engine::TrackHost {
 public:
  bool noBasslineTicked() override { return false; }
  bool ignoreClicksTicked() override { return false; }
  void fileGaugeStep(int, int) override {}
};

void expectSameLevels(const loudness::StereoBands& ours, const loudness::StereoBands& theirs) {
  for (const auto& [mine, other] :
       {std::pair{ours.left, theirs.left}, std::pair{ours.right, theirs.right}}) {
    EXPECT_EQ(mine.low, other.low);
    EXPECT_EQ(mine.mid, other.mid);
    EXPECT_EQ(mine.high, other.high);
    EXPECT_TRUE(std::isfinite(mine.low) && std::isfinite(mine.high));
  }
}

// An odd number of frames, so that the last block is short.
std::vector<std::uint8_t> sevenSeconds() {
  return pcm16Bytes(pcm16Of(musicLike(7.3, -1.0, 11, false)));
}

TEST(BandLevels, SplitBesideTheAudioGivesTheLevelsOfTheEnginesPlanes) {
  const std::vector<std::uint8_t> pcm = sevenSeconds();
  const std::uint32_t length = static_cast<std::uint32_t>(pcm.size());
  const loudness::StereoBands beside = loudness::bandLevelsOfSplit(pcm.data(), length);

  std::vector<std::uint8_t> planes(3 * pcm.size());
  std::copy(pcm.begin(), pcm.end(), planes.begin());
  QuietHost host;
  engine::SilentLog log;
  engine::splitAndScan(planes.data(), length, false, host, log);
  expectSameLevels(beside, loudness::bandLevelsOfPlanes(planes.data(), length));
  EXPECT_TRUE(std::isinf(loudness::bandLevelsOfSplit(pcm.data(), 0).left.mid));
}

// Passes the first split's blocks on to a measurer, noting where they lay and whether they came
// on the thread that ran the passes.
class BlockRecorder final : public engine::TrackObserver {
 public:
  void loaded(const std::uint8_t*, std::uint32_t) override {}
  void firstSplitBlock(const std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                       std::uint32_t end) override {
    blocks.emplace_back(begin, end);
    onCallersThread = onCallersThread && std::this_thread::get_id() == caller_;
    measurer.firstSplitBlock(samples, targetLength, begin, end);
  }
  void passGains(const engine::Gains& gains) override { measurer.passGains(gains); }

  loudness::TrackMeasurer measurer;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> blocks;
  bool onCallersThread = true;

 private:
  const std::thread::id caller_ = std::this_thread::get_id();
};

// The report's source levels come from the blocks the engine shows as its scan reads them,
// whether the split runs ahead on a thread of its own or not: every block once, in order.
TEST(BandLevels, FirstSplitShownBlockByBlockGivesTheLevelsOfTheWholeSplit) {
  const std::vector<std::uint8_t> pcm = sevenSeconds();
  const std::uint32_t length = engine::wholeFrameBytes(static_cast<std::uint32_t>(pcm.size()));
  const loudness::StereoBands whole = loudness::bandLevelsOfSplit(pcm.data(), length);
  for (bool splitOnOwnThread : {false, true}) {
    std::vector<std::uint8_t> samples(3 * std::size_t{length});
    std::copy(pcm.begin(), pcm.begin() + length, samples.begin());
    engine::TrackFlags flags;
    flags.splitOnOwnThread = splitOnOwnThread;
    QuietHost host;
    engine::SilentLog log;
    BlockRecorder recorder;
    ASSERT_TRUE(engine::runPassLoop(samples.data(), length, flags, host, log, &recorder));
    expectSameLevels(recorder.measurer.before.bands, whole);
    EXPECT_TRUE(recorder.onCallersThread);
    std::uint32_t reached = 0;
    for (const auto& [begin, end] : recorder.blocks) {
      EXPECT_EQ(begin, reached);
      reached = end;
    }
    EXPECT_EQ(reached, length);
  }
}

// Every path (the plain walks, two, four or eight lanes, whichever this build and processor
// take) gives these figures to the last bit: a clipped master, so that the interpolated peak
// passes its samples.
TEST(TrackFigures, EveryPathGivesTheSameBits) {
  const std::vector<std::uint8_t> pcm = pcm16Bytes(pcm16Of(musicLike(7.3, 1.0, 11, false)));
  const auto length = static_cast<std::uint32_t>(pcm.size());
  const loudness::TrackMeasures measures = loudness::measurePcm16(pcm.data(), length);
  EXPECT_EQ(measures.integratedLufs, -0x1.86dc744324dd6p+3);
  EXPECT_EQ(measures.truePeak, 0x1.1569acp+0);
  EXPECT_EQ(measures.samplePeak, 0x1p+0);
  const loudness::StereoBands bands = loudness::bandLevelsOfSplit(pcm.data(), length);
  expectSameLevels(bands, {{-0x1.382f2371be78dp+4, -0x1.267b83c599b2dp+4, -0x1.0a086350ecf54p+5},
                           {-0x1.39217c9b61c5ep+4, -0x1.26648d5d0cf92p+4, -0x1.09e407bb3559cp+5}});
  const loudness::ThirdOctaveLevels expected = {
      -0x1.214b105285626p+5, -0x1.05e418c0a8e8fp+5, -0x1.69b7869059c32p+4, -0x1.79953a4fcc7b6p+4,
      -0x1.a2d4ced70a3bep+4, -0x1.ad3404b9cf891p+4, -0x1.95f426d34ca15p+4, -0x1.b3322665cdd52p+4,
      -0x1.9babe592bcaa6p+4, -0x1.9d211455bd947p+4, -0x1.ac37453f1e43dp+4, -0x1.17436855d1e2bp+5,
      -0x1.18ac17fffb98dp+5, -0x1.1d05d13bf3d4dp+5, -0x1.1c528c31ba28dp+5, -0x1.1e34832b2939ep+5,
      -0x1.1c7608da9139bp+5, -0x1.1b10936a7c799p+5, -0x1.19be493be8098p+5, -0x1.148d4db01b85fp+5,
      -0x1.12e56700f4204p+5, -0x1.117f3a92067cap+5, -0x1.0fa03c318036fp+5, -0x1.0e7759bbd8fc6p+5,
      -0x1.0b656b74e79dap+5, -0x1.07c2f6b5a2d2bp+5, -0x1.01621b2f341b3p+5, -0x1.f1572f2f5c04p+4};
  EXPECT_EQ(loudness::thirdOctaveLevels(pcm.data(), length), expected);
}

// Two tones, one per channel, of known amplitude: each reads its RMS level halved over the
// two channels in its own band, and the bands away from both hold next to nothing.
TEST(Spectrum, TonesReadTheirLevelsInTheirBands) {
  const std::size_t frames = 44100 * 30;
  std::vector<std::int16_t> values(frames * 2);
  for (std::size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / 44100.0;
    values[2 * n] = static_cast<std::int16_t>(
        std::lround(16384.0 * std::sin(2 * std::numbers::pi * 1000.0 * t)));
    values[2 * n + 1] =
        static_cast<std::int16_t>(std::lround(8192.0 * std::sin(2 * std::numbers::pi * 63.0 * t)));
  }
  const std::vector<std::uint8_t> pcm = pcm16Bytes(values);
  const loudness::ThirdOctaveLevels levels =
      loudness::thirdOctaveLevels(pcm.data(), static_cast<std::uint32_t>(pcm.size()));
  // Amplitude a of full scale: mean square a²/2, halved over both channels.
  auto expected = [](double amplitude) { return 10 * std::log10(amplitude * amplitude / 4); };
  EXPECT_NEAR(levels[15], expected(0.5), 0.1);  // 1 kHz
  EXPECT_NEAR(levels[3], expected(0.25), 0.1);  // 63 Hz
  for (std::size_t band : {0u, 9u, 21u, 27u}) EXPECT_LT(levels[band], expected(0.25) - 40) << band;
  std::vector<std::uint8_t> silence(4 * 1000, 0);
  EXPECT_TRUE(std::isinf(loudness::thirdOctaveLevels(silence.data(), 4000)[15]));
}

}  // namespace
