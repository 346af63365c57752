#include "engine/metadata_silencing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/engine/wav_bytes.h"

namespace {

using engine_testing::RecordingLog;
using wav_testing::sampleAt;

std::array<std::uint8_t, engine::kWavHeaderBytes> headerEndingWith(const char tag[5]) {
  std::array<std::uint8_t, engine::kWavHeaderBytes> header{};
  std::memcpy(header.data(), "RIFF", 4);
  std::memcpy(header.data() + 36, tag, 4);
  return header;
}

// Every 16-bit value set to 100: faded, value m becomes (2m / 200) × 100, truncated.
std::vector<std::uint8_t> constantSamples(std::size_t bytes) {
  std::vector<std::uint8_t> samples(bytes);
  for (std::size_t offset = 0; offset + 1 < bytes; offset += 2) {
    samples[offset] = 100;
    samples[offset + 1] = 0;
  }
  return samples;
}

void expectZeroUpTo(const std::vector<std::uint8_t>& samples, std::size_t end) {
  for (std::size_t offset = 0; offset < end; ++offset) ASSERT_EQ(samples[offset], 0) << offset;
}

// The 100 values from start faded as 0, 1, 2 … 99 hundredths of 100, then the rest untouched.
void expectFadedFrom(const std::vector<std::uint8_t>& samples, std::size_t start) {
  for (std::size_t index = 0; index < 100; ++index) {
    // 0.29 × 100 is 28.999999999999996 in double: the product truncates to 28.
    const int expected = index == 29 ? 28 : index == 57 ? 56 : index == 58 ? 57 : int(index);
    ASSERT_EQ(sampleAt(samples.data(), start + 2 * index), expected) << index;
  }
  for (std::size_t offset = start + 200; offset + 1 < samples.size(); offset += 2) {
    ASSERT_EQ(sampleAt(samples.data(), offset), 100) << offset;
  }
}

TEST(MetadataSilencing, PlainHeaderSilencesNothingAndFadesFromTheStart) {
  std::vector<std::uint8_t> samples = constantSamples(400);
  RecordingLog log;
  EXPECT_EQ(engine::silenceMetadata(samples.data(), 400, headerEndingWith("data"), log).offset, 0u);
  engine::fadeIn(samples.data(), 400, 0);

  EXPECT_EQ(log.text(), "");
  expectFadedFrom(samples, 0);
}

TEST(MetadataSilencing, FadeTruncatesTowardZeroForNegativeValues) {
  std::vector<std::uint8_t> samples(400);
  for (std::size_t offset = 0; offset < 400; offset += 2) {
    samples[offset] = static_cast<std::uint8_t>(-700 & 0xFF);
    samples[offset + 1] = static_cast<std::uint8_t>((-700 >> 8) & 0xFF);
  }
  engine::fadeIn(samples.data(), 400, 0);
  EXPECT_EQ(sampleAt(samples.data(), 2 * 1), -7);
  EXPECT_EQ(sampleAt(samples.data(), 2 * 35), -244);  // -244.99999999999997
  EXPECT_EQ(sampleAt(samples.data(), 2 * 99), -693);
  EXPECT_EQ(sampleAt(samples.data(), 2 * 100), -700);
}

TEST(MetadataSilencing, TagAtOffsetTenSilencesItWithItsSizeField) {
  std::vector<std::uint8_t> samples = constantSamples(1000);
  std::memcpy(samples.data() + 10, "data", 4);
  RecordingLog log;
  const std::uint32_t audioStart =
      engine::silenceMetadata(samples.data(), 1000, headerEndingWith("LIST"), log).offset;
  engine::fadeIn(samples.data(), 1000, audioStart);

  EXPECT_EQ(log.text(), "Skipping WAV metadata...\n");
  EXPECT_EQ(audioStart, 20u);
  expectZeroUpTo(samples, 20);
  expectFadedFrom(samples, 20);
}

TEST(MetadataSilencing, DataOffTheGridIsMovedUpSoEachFrameHoldsOneSourceFrame) {
  // Tag at 26: the samples start at 34, two bytes off the grid; the last two bytes fall off.
  for (const std::uint32_t tagOffset : {25u, 26u, 27u, 28u}) {
    SCOPED_TRACE(tagOffset);
    const std::uint32_t tagEnd = tagOffset + 8;
    const std::uint32_t start = (tagEnd + 3) & ~3u;
    std::vector<std::uint8_t> samples(tagEnd);
    std::memcpy(samples.data() + tagOffset, "data", 4);
    const std::string frames = wav_testing::numberedFrames(300);
    samples.insert(samples.end(), frames.begin(), frames.end());
    const std::uint32_t length = static_cast<std::uint32_t>(samples.size());
    RecordingLog log;

    const engine::AudioStart audio =
        engine::silenceMetadata(samples.data(), length, headerEndingWith("LIST"), log);

    EXPECT_EQ(audio.offset, start);
    EXPECT_EQ(audio.movedBy, start - tagEnd);
    expectZeroUpTo(samples, start);
    const std::uint32_t wholeFrames = (length - start) / 4;
    for (std::uint32_t frame = 0; frame < wholeFrames; ++frame) {
      ASSERT_EQ(sampleAt(samples.data(), start + 4 * frame), long(frame) + 1) << frame;
      ASSERT_EQ(sampleAt(samples.data(), start + 4 * frame + 2), -long(frame) - 1) << frame;
    }
  }
}

TEST(MetadataSilencing, NoTagInTheFirst2048BytesSilences2056) {
  std::vector<std::uint8_t> samples = constantSamples(3000);
  std::memcpy(samples.data() + 2048, "data", 4);  // too far to count
  RecordingLog log;
  const std::uint32_t audioStart =
      engine::silenceMetadata(samples.data(), 3000, headerEndingWith("LIST"), log).offset;
  engine::fadeIn(samples.data(), 3000, audioStart);

  EXPECT_EQ(log.text(),
            "Skipping WAV metadata...\n"
            "(Warning: 'data' tag not found => Silencing the first 2048-byte chunk by default)\n");
  EXPECT_EQ(audioStart, 2056u);
  expectZeroUpTo(samples, 2056);
  expectFadedFrom(samples, 2056);
}

TEST(MetadataSilencing, ShortTrackWithoutTagIsSilencedWholeAndNotFaded) {
  std::vector<std::uint8_t> samples = constantSamples(1000);
  RecordingLog log;
  const std::uint32_t audioStart =
      engine::silenceMetadata(samples.data(), 1000, headerEndingWith("JUNK"), log).offset;
  engine::fadeIn(samples.data(), 1000, audioStart);

  EXPECT_EQ(log.text(),
            "Skipping WAV metadata...\n"
            "(Warning: 'data' tag not found => Silencing the first 992-byte chunk by default)\n");
  EXPECT_EQ(audioStart, 1000u);
  expectZeroUpTo(samples, 1000);
}

TEST(MetadataSilencing, TagMustLeaveRoomForItsSizeField) {
  // At offset 92 of 100 bytes, tagOffset + 8 < 100 fails: the tag is not seen.
  std::vector<std::uint8_t> samples = constantSamples(100);
  std::memcpy(samples.data() + 92, "data", 4);
  RecordingLog log;
  EXPECT_EQ(engine::silenceMetadata(samples.data(), 100, headerEndingWith("fact"), log).offset, 100u);
  EXPECT_NE(log.text().find("first 92-byte chunk"), std::string::npos);

  std::vector<std::uint8_t> tiny = constantSamples(6);
  RecordingLog tinyLog;
  EXPECT_EQ(engine::silenceMetadata(tiny.data(), 6, headerEndingWith("fact"), tinyLog).offset, 6u);
  EXPECT_NE(tinyLog.text().find("first 0-byte chunk"), std::string::npos);
  expectZeroUpTo(tiny, 6);
}

TEST(FadeIn, NeedsAtLeast201BytesAfterTheStart) {
  std::vector<std::uint8_t> samples = constantSamples(225);
  engine::fadeIn(samples.data(), 224, 24);  // 200 bytes remain
  EXPECT_EQ(sampleAt(samples.data(), 24), 100);

  engine::fadeIn(samples.data(), 225, 24);  // 201 bytes remain
  EXPECT_EQ(sampleAt(samples.data(), 24), 0);
  EXPECT_EQ(sampleAt(samples.data(), 26), 1);
  EXPECT_EQ(sampleAt(samples.data(), 222), 99);
}

}  // namespace
