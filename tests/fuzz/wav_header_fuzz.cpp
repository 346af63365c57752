// Fuzz target of the WAV header reader: the bytes, as a file, go through the choice of
// conversion, the checks of a WAV read directly and the opening of a converter's output; an
// accepted header is then loaded as the engine loads it, up to the silenced metadata and the
// fade-in.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/metadata_silencing.h"
#include "engine/rate_conversion.h"
#include "engine/sample_buffer.h"
#include "engine/wav_file.h"
#include "tests/engine/recording_log.h"
#include "tests/support/fuzz_input_file.h"

namespace {

// The engine's first steps with an accepted header: the sizes it asks for, the one read of the
// declared data (what the file lacks reads as silence) and the start of the samples.
void loadStart(engine::TrackState& track, engine::ProcessLog& log) {
  const std::uint64_t targetLength = engine::needsRateConversion(track.rateFactor)
                                         ? engine::convertedLength(track.dataLength, track.rateFactor)
                                         : engine::unconvertedLength(track.dataLength);
  engine::requiredSampleSpace(track.dataLength, targetLength);

  std::vector<std::uint8_t> samples(track.dataLength);
  const std::size_t got = std::fread(samples.data(), 1, samples.size(), track.inputFile.get());
  std::fill(samples.begin() + static_cast<std::ptrdiff_t>(got), samples.end(), 0);
  track.inputFile.reset();
  const std::uint32_t audioStart =
      engine::silenceMetadata(samples.data(), track.dataLength, track.header, log);
  engine::fadeIn(samples.data(), track.dataLength, audioStart);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = testing_support::fuzzInputFile(data, size);
  engine_testing::RecordingLog log;

  engine::wavNeedsConversion(path);

  engine::TrackState direct;
  if (engine::checkDirectWavHeader(direct, engine::openInputFile(path), log)) {
    loadStart(direct, log);
  }

  engine::TrackState converted;
  if (engine::openConvertedInput(converted, path) == engine::ConvertedInput::Ready) {
    loadStart(converted, log);
  }
  return 0;
}
