#include "engine/metadata_silencing.h"

#include <cstring>

#include "engine/pcm_access.h"

namespace engine {

namespace {

constexpr char kDataTag[4] = {'d', 'a', 't', 'a'};
// The tag is looked for only this far into the data: a longer lead is not a header.
constexpr std::uint32_t kTagSearchBytes = 2048;
constexpr std::uint32_t kFadeValues = 100;
constexpr double kFadeDivisor = 200.0;

}  // namespace

AudioStart silenceMetadata(std::uint8_t* samples, std::uint32_t dataLength,
                           const std::array<std::uint8_t, kWavHeaderBytes>& header,
                           ProcessLog& log) {
  if (std::memcmp(header.data() + 36, kDataTag, sizeof kDataTag) == 0) return {};
  log.write("Skipping WAV metadata...\n");

  // tagOffset + 8 < dataLength keeps the tag and its size field inside the data.
  std::uint64_t tagOffset = 0;
  bool found = false;
  while (tagOffset < kTagSearchBytes && tagOffset + 8 < dataLength) {
    if (std::memcmp(samples + tagOffset, kDataTag, sizeof kDataTag) == 0) {
      found = true;
      break;
    }
    ++tagOffset;
  }
  if (!found) {
    log.print("(Warning: 'data' tag not found => Silencing the first %ld-byte chunk by default)\n",
              static_cast<long>(tagOffset));
  }

  // The tag and its size field go, and the silence ends on the frame grid, which always starts
  // at byte 0 of the data wherever the tag lies.
  const std::uint64_t tagEnd = tagOffset + 8;
  std::uint64_t silenceEnd = wholeFrameBytes(tagEnd + (kFrameBytes - 1));
  AudioStart start;
  // Left on the grid of byte 0, a source frame would straddle two frames: the right value of
  // one and the left of the next, the channels swapped and a sample apart.
  if (found && silenceEnd != tagEnd) {
    start.movedBy = static_cast<std::uint32_t>(silenceEnd - tagEnd);
    if (silenceEnd < dataLength) {
      std::memmove(samples + silenceEnd, samples + tagEnd, dataLength - silenceEnd);
    }
  }
  if (silenceEnd > dataLength) silenceEnd = dataLength;
  std::memset(samples, 0, silenceEnd);
  start.offset = static_cast<std::uint32_t>(silenceEnd);
  return start;
}

void fadeIn(std::uint8_t* samples, std::uint32_t dataLength, std::uint32_t audioStart) {
  if (audioStart > dataLength || dataLength - audioStart < 2 * kFadeValues + 1) return;
  std::uint8_t* value = samples + audioStart;
  for (std::uint32_t index = 0; index < kFadeValues; ++index, value += 2) {
    // The factor is the quotient (offset / 200) in double, then multiplied; the product is
    // below 32767 in magnitude and truncates toward zero.
    const double factor = static_cast<double>(2 * index) / kFadeDivisor;
    storeSample(value, static_cast<std::int16_t>(factor * loadSample(value)));
  }
}

}  // namespace engine
