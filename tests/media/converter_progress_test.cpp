// The converter's progress report: read from its pieces, and taken from the real converter
// without a byte of its output changed.
#include "media/converter_progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "media/converter_commands.h"
#include "media/system_services.h"
#include "tests/support/media_files.h"
#include "tests/support/temp_folder.h"

namespace {

using testing_support::readFile;
using testing_support::TempFolder;

TEST(ProgressReader, TakesEachKnownPositionWhereverTheChunksAreCut) {
  std::vector<double> seconds;
  media::ProgressReader reader([&](double at) { seconds.push_back(at); });
  const std::string report =
      "out_time_us=N/A\nout_time_ms=N/A\nprogress=continue\n"
      "bitrate=1411.2kbits/s\nout_time_us=1250000\nout_time_us=-5\nout_time_us=12x\n"
      "out_time_us=" + std::string(300, '9') + "\nout_time_us=2500000\r\nprogress=end\n";
  for (std::size_t at = 0; at < report.size(); at += 7) {
    reader.take(report.data() + at, std::min<std::size_t>(7, report.size() - at));
  }
  EXPECT_EQ(seconds, (std::vector<double>{1.25, 2.5}));
}

TEST(ConverterProgress, RealConversionReportsItsWayToTheEndAndWritesTheSameBytes) {
  TempFolder folder;
  const std::string source = folder / "tone.flac";
  ASSERT_TRUE(testing_support::makeTone(source, {}, 20.0));
  const auto convert = [&](const std::string& wav, const media::ProgressHandler& onProgress) {
    const media::ConverterCommand command = media::conversionCommand(source, wav, wav);
    const auto ignore = [](const char*, std::size_t) { return true; };
    return platform::childSucceeded(
        onProgress ? media::realSystemServices().runConverter(command.arguments, ignore, onProgress)
                   : media::realSystemServices().runChildReadingErrors(command.arguments, ignore));
  };
  std::vector<double> seconds;
  ASSERT_TRUE(convert(folder / "reported.wav", [&](double at) { seconds.push_back(at); }));
  ASSERT_TRUE(convert(folder / "plain.wav", {}));

  EXPECT_EQ(readFile(folder / "reported.wav"), readFile(folder / "plain.wav"));
  ASSERT_FALSE(seconds.empty());
  EXPECT_TRUE(std::is_sorted(seconds.begin(), seconds.end()));
  EXPECT_NEAR(seconds.back(), 20.0, 0.05);
}

}  // namespace
