#include "batch/source_damage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::uint64_t kBytesPerSecond = 44100 * 4;

batch::ConverterMessages messagesOf(const std::string& text) {
  batch::ConverterMessages messages;
  // In chunks that split lines, as a pipe hands them over.
  for (std::size_t at = 0; at < text.size(); at += 7) {
    messages.take(text.data() + at, std::min<std::size_t>(7, text.size() - at));
  }
  return messages;
}

TEST(SourceDamage, ShortfallBeyondOneSecondAndTwoPercentOfTheStatedLengthIsAnEarlyEnd) {
  const batch::ConverterMessages stated = messagesOf(
      "[info] Input #0, flac, from '/m/[error] x.flac':\n"
      "[info]   Duration: 00:00:20.00, start: 0.000000, bitrate: 37 kb/s\n"
      "[info] Output #0, wav, to 'TMPOUT.WAV':\n[info]   Duration: 00:00:05.00\n");
  EXPECT_FALSE(stated.errorsReported());
  EXPECT_EQ(batch::sourceDamageWarning(stated, 19 * kBytesPerSecond, false), "");
  EXPECT_EQ(batch::sourceDamageWarning(stated, 19 * kBytesPerSecond - 4, false),
            "the source ends early: 19.0 s of 20.0 s could be decoded");
  const batch::ConverterMessages hour = messagesOf("[info]   Duration: 01:00:00.00, start: 0\n");
  EXPECT_EQ(batch::sourceDamageWarning(hour, 3528 * kBytesPerSecond, false), "");
  EXPECT_EQ(batch::sourceDamageWarning(hour, 3527 * kBytesPerSecond, false),
            "the source ends early: 3527.0 s of 3600.0 s could be decoded");
}

TEST(SourceDamage, EstimatedOrMissingLengthsAreNotComparedButErrorsAndCutStreamsAreTold) {
  const batch::ConverterMessages estimated = messagesOf(
      "[info]   Duration: 00:03:25.47, start: 0.025057, bitrate: 128 kb/s\n"
      "[mp3 @ 0x55d1] [warning] Estimating duration from bitrate, this may be inaccurate\n");
  EXPECT_EQ(batch::sourceDamageWarning(estimated, kBytesPerSecond, false), "");
  EXPECT_EQ(batch::sourceDamageWarning(messagesOf("[info]   Duration: N/A, bitrate: N/A\n"),
                                       kBytesPerSecond, false),
            "");
  const batch::ConverterMessages damaged =
      messagesOf("[flac @ 0x55b0] [error] invalid residual\r[info] size= 1188kB\n");
  EXPECT_TRUE(damaged.errorsReported());
  EXPECT_EQ(batch::sourceDamageWarning(damaged, 7 * kBytesPerSecond, false),
            "the source is damaged: the converter reported errors while decoding it, 7.0 s could "
            "be decoded");
  EXPECT_EQ(batch::sourceDamageWarning(messagesOf(""), 7 * kBytesPerSecond, true),
            "the source ends early: its end is missing, 7.0 s could be decoded");
}

}  // namespace
