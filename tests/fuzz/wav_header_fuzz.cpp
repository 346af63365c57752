// Fuzz target of the WAV header reader: the bytes, as a file, go through the choice of
// conversion, the checks of a WAV read directly and the opening of a converter's output; an
// accepted header is then loaded as the engine loads it, up to the silenced metadata and the
// fade-in.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/metadata_silencing.h"
#include "engine/sample_buffer.h"
#include "engine/wav_file.h"
#include "tests/engine/recording_log.h"
#include "tests/support/fuzz_input_file.h"

namespace {

// Each block is exactly as large as its use needs, so that a reach past it is caught.
std::uint8_t* exactBlock(engine::SampleBuffer& buffer, std::uint64_t bytes) {
  if (!engine::obtainSampleBuffer(buffer, bytes)) std::abort();
  return buffer.bytes;
}

// The engine's first steps with an accepted header: the one read of the declared data (what
// the file lacks reads as silence) and the start of the samples.
void loadStart(engine::TrackState& track, std::size_t fileBytes, engine::ProcessLog& log) {
  const std::uint32_t dataLength = track.dataLength;
  // The declared data is the rest of the file from where the input stands: no byte of it
  // missing, none of the header taken for audio.
  const long position = std::ftell(track.inputFile.get());
  if (position < 0 || static_cast<std::uint64_t>(position) + dataLength != fileBytes) std::abort();
  engine::SampleBuffer loaded;
  std::uint8_t* const samples = exactBlock(loaded, dataLength);
  const std::size_t got = std::fread(samples, 1, dataLength, track.inputFile.get());
  std::memset(samples + got, 0, dataLength - got);
  track.inputFile.reset();
  const engine::AudioStart audioStart =
      engine::silenceMetadata(samples, dataLength, track.header, log);
  if (audioStart.offset > dataLength || audioStart.movedBy > 3) std::abort();
  engine::fadeIn(samples, dataLength, audioStart.offset);
  engine::releaseSampleBuffer(loaded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = testing_support::fuzzInputFile(data, size);
  engine_testing::RecordingLog log;

  engine::wavNeedsConversion(path);

  engine::TrackState direct;
  if (engine::checkDirectWavHeader(direct, engine::openInputFile(path), log)) {
    loadStart(direct, size, log);
  }

  engine::TrackState converted;
  if (engine::openConvertedInput(converted, path) == engine::ConvertedInput::Ready) {
    loadStart(converted, size, log);
  }
  return 0;
}
