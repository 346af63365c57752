// The engine's share of the job state: what the pipeline prepares for one track and what the
// engine leaves behind (its lengths, header, rate factor, sample buffer and output path).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/input_file.h"
#include "engine/sample_buffer.h"

namespace engine {

constexpr std::size_t kWavHeaderBytes = 44;

struct TrackState {
  // The open WAV data of the current entry, positioned at the first sample byte. Held only
  // from the header checks that accept it to the engine's one read, which closes it: the job
  // removes the converter's output right after the engine.
  InputFile inputFile;
  // Bytes of sample data in the input.
  std::uint32_t dataLength = 0;
  // Bytes of 44100 Hz stereo PCM after rate conversion; the length saved.
  std::uint32_t targetLength = 0;
  // The input header; rebuilt as the output header by the save.
  std::array<std::uint8_t, kWavHeaderBytes> header{};
  // Rate field and channel byte as last read from a direct WAV header.
  std::uint32_t rateField = 0;
  std::uint8_t channelByte = 0;
  // Ratio toward 44100 Hz stereo; exactly 1 for converted input.
  float rateFactor = 1.0f;
  // Full path of the current entry, as bytes for the file system.
  std::string sourcePath;
  // The job's output folder, closing separator included.
  std::string outputFolderPath;
  // Where the save puts the result and the name it is written under first, in the same
  // folder; both given by the job, which names every result and keeps same-name sources apart.
  std::string resultPath;
  std::string partialResultPath;
  // The result WAV's path, set by the save.
  std::string outputPath;
  SampleBuffer buffer;
  // The most the sample buffer may take. A track that needs more is refused like one that
  // cannot be allocated: a damaged header can ask for far more than the machine has, and the
  // system would grant it lazily and then stop the whole program when the pages are touched.
  std::uint64_t sampleSpaceLimit = UINT64_MAX;
  // A core is free beside this track's: its band split may run on a thread of its own.
  bool splitOnOwnThread = false;
};

}  // namespace engine
