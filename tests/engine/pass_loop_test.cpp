#include "engine/pass_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "tests/engine/pass_fakes.h"

namespace {

using engine_testing::bufferOfFrames;
using engine_testing::planeValue;
using engine_testing::RecordingHost;
using engine_testing::RecordingLog;

using Frames = std::vector<std::pair<int, int>>;

// Deterministic noise, the same on every platform.
struct Noise {
  std::uint64_t state;
  int next(int amplitude, int shift) {
    state = (state * 1103515245 + 12345) % (std::uint64_t{1} << 31);
    return static_cast<int>((state >> shift) % static_cast<std::uint64_t>(2 * amplitude + 1)) -
           amplitude;
  }
};

// A strong 110 Hz triangle bass under a weak, fast treble: the bands lie far apart.
Frames bassHeavyTrack(int frameCount) {
  Frames frames;
  Noise noise{12345};
  for (int i = 0; i < frameCount; ++i) {
    const int t = i % 400;
    const int bass = (t < 200 ? t : 400 - t) * 200 - 20000;
    const int treble = ((i * 7) % 5 - 2) * 300;
    const int hiss = noise.next(100, 16);
    frames.emplace_back(bass + treble + hiss, bass / 2 - treble * 2 + hiss);
  }
  return frames;
}

// Output frames folded into one number, to hold a whole result against a known one.
std::uint32_t outputHash(const std::vector<std::uint8_t>& buffer, std::size_t frameCount) {
  std::uint64_t hash = 0;
  for (std::size_t frame = 0; frame < frameCount; ++frame) {
    for (int channel = 0; channel < 2; ++channel) {
      const auto bits = static_cast<std::uint16_t>(planeValue(buffer, 0, frame, channel));
      hash = (hash * 31 + bits) % (std::uint64_t{1} << 32);
    }
  }
  return static_cast<std::uint32_t>(hash);
}

int largestMagnitude(const std::vector<std::uint8_t>& buffer, std::size_t frameCount) {
  int largest = 0;
  for (std::size_t frame = 0; frame < frameCount; ++frame) {
    for (int channel = 0; channel < 2; ++channel) {
      largest = std::max(largest, std::abs(planeValue(buffer, 0, frame, channel)));
    }
  }
  return largest;
}

TEST(PassLoop, BandsFarApartRunASecondPassOnTheCorrectedTrack) {
  const Frames frames = bassHeavyTrack(3000);
  std::vector<std::uint8_t> buffer = bufferOfFrames(frames);
  RecordingHost host;
  RecordingLog log;
  engine::runPassLoop(buffer.data(), 12000, {}, host, log);

  EXPECT_EQ(log.text(),
            "\nStep 2: three-band filter and scanning...\n"
            "Monitored quasi-peaks:\n"
            "LF: R = -2208 1897 -- L = -4826 4138\n"
            "MF: R = -3398 5366 -- L = -6070 11139\n"
            "HF: R = -56 37 -- L = -37 47\n\n"
            "Monitored peaks:\n"
            "LF: R = -8726 4438 -- L = -20498 8889\n"
            "MF: R = -6220 6652 -- L = -11472 12508\n"
            "HF: R = -429 459 -- L = -302 894\n\n"
            "Step 3: Setting correction parameters...\n"
            "Before max peak considerations:\n"
            "Left channel low freq: 3.522586\n"
            "Right channel low freq: 7.699275\n"
            "Left channel middle freq: 1.167071\n"
            "Right channel middle freq: 2.422661\n"
            "Left channel high freq: 56.000000\n"
            "Right channel high freq: 56.000000\n\n"
            "After max peak considerations:\n"
            "Left channel low freq: 1.595278\n"
            "Right channel low freq: 3.747422\n"
            "Left channel middle freq: 1.167071\n"
            "Right channel middle freq: 2.422661\n"
            "Left channel high freq: 36.577183\n"
            "Right channel high freq: 56.000000\n\n"
            "Note: A double pass process will be necessary.\n\n"
            "Step 4: Applying corrections...\n\n"
            "\nStep 1: Restarting from previously processed track in first pass...\n\n"
            "\nStep 2: three-band filter and scanning...\n"
            "Monitored quasi-peaks:\n"
            "LF: R = -3638 3156 -- L = -4992 4798\n"
            "MF: R = -9804 15116 -- L = -17021 13929\n"
            "HF: R = -56 37 -- L = -37 56\n\n"
            "Monitored peaks:\n"
            "LF: R = -11002 6890 -- L = -10013 9914\n"
            "MF: R = -18225 18503 -- L = -25685 18293\n"
            "HF: R = -5711 6128 -- L = -3990 3215\n\n"
            "Step 3: Setting correction parameters...\n"
            "Before max peak considerations:\n"
            "Left channel low freq: 3.405449\n"
            "Right channel low freq: 4.672897\n"
            "Left channel middle freq: 0.763762\n"
            "Right channel middle freq: 0.860016\n"
            "Left channel high freq: 56.000000\n"
            "Right channel high freq: 56.000000\n\n"
            "After max peak considerations:\n"
            "Left channel low freq: 3.265754\n"
            "Right channel low freq: 2.972187\n"
            "Left channel middle freq: 0.763762\n"
            "Right channel middle freq: 0.860016\n"
            "Left channel high freq: 8.195489\n"
            "Right channel high freq: 5.336162\n\n"
            "Step 4: Applying corrections...\n\n");
  EXPECT_EQ(outputHash(buffer, frames.size()), 190410820u);
  EXPECT_EQ(largestMagnitude(buffer, frames.size()), 32766);
  EXPECT_EQ(host.gaugeSteps, (std::vector<std::pair<int, int>>{{25, 30}, {25, 30}}));
}

TEST(PassLoop, IgnoringClicksWithoutBasslineChangesTheResultAndOneLogLine) {
  const Frames frames = bassHeavyTrack(3000);
  std::vector<std::uint8_t> buffer = bufferOfFrames(frames);
  RecordingHost host;
  RecordingLog log;
  engine::runPassLoop(buffer.data(), 12000, {true, true}, host, log);
  EXPECT_EQ(outputHash(buffer, frames.size()), 752584068u);
  EXPECT_EQ(largestMagnitude(buffer, frames.size()), 32766);
  const std::string clicksLine =
      "After max peak considerations (Clicks and pops not taken into account):\n";
  const std::size_t first = log.text().find(clicksLine);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(log.text().find(clicksLine, first + 1), std::string::npos);
}

TEST(PassLoop, BandsCloseTogetherNeedOnePass) {
  Frames frames;
  Noise noise{99};
  for (int i = 0; i < 3000; ++i) {
    const int hiss = noise.next(4000, 8);
    frames.emplace_back(hiss, -hiss);
  }
  std::vector<std::uint8_t> buffer = bufferOfFrames(frames);
  RecordingHost host;
  RecordingLog log;
  engine::runPassLoop(buffer.data(), 12000, {}, host, log);
  EXPECT_EQ(outputHash(buffer, frames.size()), 2365914376u);
  EXPECT_EQ(log.text().find("Note:"), std::string::npos);
  EXPECT_EQ(log.text().find("Restarting"), std::string::npos);
  EXPECT_EQ(host.gaugeSteps.size(), 1u);
  const std::string ending =
      "After max peak considerations:\n"
      "Left channel low freq: 11.826402\n"
      "Right channel low freq: 11.826402\n"
      "Left channel middle freq: 4.716981\n"
      "Right channel middle freq: 4.716981\n"
      "Left channel high freq: 18.771526\n"
      "Right channel high freq: 18.771526\n\n"
      "Step 4: Applying corrections...\n\n";
  ASSERT_GE(log.text().size(), ending.size());
  EXPECT_EQ(log.text().substr(log.text().size() - ending.size()), ending);
}

std::string silentPassLog() {
  const std::string zeros =
      "LF: R = 0 0 -- L = 0 0\nMF: R = 0 0 -- L = 0 0\nHF: R = 0 0 -- L = 0 0\n\n";
  const std::string caps = engine_testing::kCappedGainLines;
  return "\nStep 2: three-band filter and scanning...\nMonitored quasi-peaks:\n" + zeros +
         "Monitored peaks:\n" + zeros + "Step 3: Setting correction parameters...\n" +
         "Before max peak considerations:\n" + caps + "After max peak considerations:\n" + caps;
}

std::string silentTrackLog() {
  return silentPassLog() + "Note: A double pass process will be necessary.\n\n" +
         "Step 4: Applying corrections...\n\n" +
         "\nStep 1: Restarting from previously processed track in first pass...\n\n" +
         silentPassLog() + "Step 4: Applying corrections...\n\n";
}

TEST(PassLoop, SilentTrackTakesTheCapsAndTwoPasses) {
  std::vector<std::uint8_t> buffer = bufferOfFrames(Frames(500, {0, 0}));
  RecordingHost host;
  RecordingLog log;
  engine::runPassLoop(buffer.data(), 2000, {}, host, log);
  EXPECT_EQ(log.text(), silentTrackLog());
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(host.gaugeSteps.size(), 2u);
}

TEST(PassLoop, TrackWithoutFramesLogsLikeASilentOneAndTouchesNothing) {
  std::uint8_t untouched = 0x5A;
  RecordingHost host;
  RecordingLog log;
  engine::runPassLoop(&untouched, 0, {}, host, log);
  EXPECT_EQ(log.text(), silentTrackLog());
  EXPECT_EQ(untouched, 0x5A);
  EXPECT_TRUE(host.gaugeSteps.empty());
}

TEST(PassLoop, LogOnOrOffGivesTheSameResult) {
  const Frames frames = bassHeavyTrack(1000);
  std::vector<std::uint8_t> logged = bufferOfFrames(frames);
  std::vector<std::uint8_t> silent = logged;
  RecordingHost host;
  RecordingLog log;
  engine::SilentLog off;
  engine::runPassLoop(logged.data(), 4000, {}, host, log);
  engine::runPassLoop(silent.data(), 4000, {}, host, off);
  EXPECT_EQ(std::vector<std::uint8_t>(logged.begin(), logged.begin() + 4000),
            std::vector<std::uint8_t>(silent.begin(), silent.begin() + 4000));
}

TEST(PassLoop, SplitOnItsOwnThreadGivesTheSameResultLogAndGauge) {
  // Many blocks of a loud double-pass track, so that the second thread runs well ahead, the
  // first pass's application runs ahead of the second split, and the limiter acts. In the
  // second track a still passage where the threads would share a split leaves it all to one.
  const Frames music = bassHeavyTrack(300001);
  Frames stillAtTheJoin = music;
  std::fill(stillAtTheJoin.begin() + 160000, stillAtTheJoin.begin() + 215000, std::pair{900, -400});
  using Run = std::pair<const Frames*, bool>;
  for (const auto& [frames, ignoreClicks] :
       {Run{&music, false}, Run{&music, true}, Run{&stillAtTheJoin, false}}) {
    SCOPED_TRACE(testing::Message() << (frames == &music ? "music " : "still ") << ignoreClicks);
    const auto targetLength = static_cast<std::uint32_t>(frames->size() * 4);
    std::vector<std::uint8_t> results[2];
    RecordingHost hosts[2];
    RecordingLog logs[2];
    for (const bool ownThread : {false, true}) {
      results[ownThread] = bufferOfFrames(*frames);
      engine::runPassLoop(results[ownThread].data(), targetLength, {false, ignoreClicks, ownThread},
                          hosts[ownThread], logs[ownThread]);
    }
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(logs[0].text(), logs[1].text());
    EXPECT_NE(logs[0].text().find("double pass"), std::string::npos);
    EXPECT_EQ(hosts[0].gaugeSteps, hosts[1].gaugeSteps);
    EXPECT_EQ(largestMagnitude(results[1], frames->size()), 32766);
  }
}

}  // namespace
