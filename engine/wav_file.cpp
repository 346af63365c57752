#include "engine/wav_file.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "engine/pcm_access.h"

namespace engine {

namespace {

constexpr long kShortestDirectFile = 1025;
constexpr std::uint64_t kLongestDataLength = 0xFFFFFFFFull;
constexpr double kStereo44100ByteRate = 44100.0 * kFrameBytes;

constexpr std::string_view kWavTooLongText =
    "This WAV file is too long (4 GiB or more)! It will be ignored !\n";

// The result's header with both size fields 0; nothing of the input header carries over.
constexpr std::array<std::uint8_t, kWavHeaderBytes> kResultHeaderTemplate = {
    // clang-format off
    'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
    'f', 'm', 't', ' ', 16, 0, 0, 0,
    1, 0, 2, 0,                           // PCM, 2 channels
    0x44, 0xAC, 0x00, 0x00,               // 44100 frames per second
    0x10, 0xB1, 0x02, 0x00,               // 176400 bytes per second
    kFrameBytes, 0, 8 * kSampleBytes, 0,  // 4-byte frames of 16-bit values
    'd', 'a', 't', 'a', 0, 0, 0, 0,
    // clang-format on
};

constexpr std::uint16_t kPcmFormat = 1;
constexpr std::uint16_t kExtensibleFormat = 0xFFFE;
constexpr std::uint16_t kPcmBitsPerSample = 16;
// Bytes 2 to 15 of every standard extensible sub-format; bytes 0 and 1 hold its format code.
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint16_t readLe16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t readLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void writeLe32(std::uint8_t* bytes, std::uint32_t value) {
  for (int index = 0; index < 4; ++index)
    bytes[index] = static_cast<std::uint8_t>(value >> (8 * index));
}

bool hasTag(const std::uint8_t* bytes, const char* tag) { return std::memcmp(bytes, tag, 4) == 0; }

long fileLength(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  return std::ftell(file);
}

bool readAt(std::FILE* file, long offset, std::uint8_t* bytes, std::size_t count) {
  return std::fseek(file, offset, SEEK_SET) == 0 && std::fread(bytes, 1, count, file) == count;
}

// Walks the chunks of a RIFF WAVE file of length bytes and returns the offset of the first
// chunk whose id is tag and whose 8-byte chunk header lies in the file. A chunk size that runs
// past the end ends the walk.
std::optional<std::uint64_t> findChunk(std::FILE* file, long length, const char* tag,
                                       std::uint32_t* chunkSize) {
  std::uint8_t riff[12];
  if (!readAt(file, 0, riff, sizeof riff) || !hasTag(riff, "RIFF") || !hasTag(riff + 8, "WAVE")) {
    return std::nullopt;
  }
  std::uint64_t offset = 12;
  while (offset + 8 <= static_cast<std::uint64_t>(length)) {
    std::uint8_t chunk[8];
    if (!readAt(file, static_cast<long>(offset), chunk, sizeof chunk)) return std::nullopt;
    const std::uint32_t size = readLe32(chunk + 4);
    if (hasTag(chunk, tag)) {
      *chunkSize = size;
      return offset;
    }
    // Chunks are padded to an even length.
    offset += 8 + static_cast<std::uint64_t>(size) + (size & 1);
  }
  return std::nullopt;
}

bool isSixteenBitPcm(const std::uint8_t* format, std::uint32_t formatBytes) {
  std::uint16_t code = readLe16(format);
  if (code == kExtensibleFormat) {
    // Too short to name its sub-format: not recognised, so the direct checks judge the file.
    if (formatBytes < 40) return true;
    if (std::memcmp(format + 26, kSubFormatTail, sizeof kSubFormatTail) != 0) return false;
    code = readLe16(format + 24);
  }
  return code == kPcmFormat && readLe16(format + 14) == kPcmBitsPerSample;
}

// The rate of a WAV as the direct checks read its 44-byte header.
struct DirectRate {
  // Only the low byte of the channel count is looked at.
  std::uint8_t channelByte = 0;
  // False unless the channel byte is 1 or 2.
  bool known = false;
  std::uint32_t rateField = 0;
  float rateFactor = 0.0f;
};

DirectRate directRateOf(const std::uint8_t* header) {
  DirectRate rate;
  rate.channelByte = header[22];
  if (rate.channelByte == 2) {
    rate.rateField = readLe32(header + 24);
  } else if (rate.channelByte == 1) {
    rate.rateField = readLe32(header + 28);
  } else {
    return rate;
  }
  rate.known = true;
  // Stereo: 176400 / (4 × sample rate); mono: 176400 / byte rate. A 16-bit mono byte rate is
  // twice the sample rate, so its consecutive sample pairs, loaded as frames, keep their tempo.
  const double divisor = static_cast<double>(rate.rateField) * (3.0 * rate.channelByte - 2.0);
  const double factor =
      divisor == 0.0 ? std::numeric_limits<double>::infinity() : kStereo44100ByteRate / divisor;
  rate.rateFactor = static_cast<float>(factor);
  return rate;
}

// Results are written in stretches of this many bytes, each as soon as it is final.
constexpr std::uint32_t kSaveStretchBytes = std::uint32_t{1} << 20;

enum class WavWrite { NotCreated, Failed, Written };

// Writes header and samples to a new file at path and closes it.
WavWrite writeWav(const std::string& path, const std::array<std::uint8_t, kWavHeaderBytes>& header,
                  const std::uint8_t* samples, std::uint32_t sampleBytes,
                  const SampleAwait& awaitSamples) {
  // "x": a new file only; a link or a file planted at the name is never written through.
  std::FILE* out = std::fopen(path.c_str(), "wbx");
  if (!out) return WavWrite::NotCreated;
  bool complete = std::fwrite(header.data(), 1, header.size(), out) == header.size();
  for (std::uint32_t begin = 0; complete && begin < sampleBytes;) {
    const std::uint32_t end =
        sampleBytes - begin > kSaveStretchBytes ? begin + kSaveStretchBytes : sampleBytes;
    if (awaitSamples) awaitSamples(end);
    complete = std::fwrite(samples + begin, 1, end - begin, out) == end - begin;
    begin = end;
  }
  // A full disk may show only when the last buffered bytes are flushed by the close.
  return std::fclose(out) == 0 && complete ? WavWrite::Written : WavWrite::Failed;
}

}  // namespace

bool wavNeedsConversion(const std::string& path) {
  const InputFile input = openInputFile(path);
  if (!input) return false;
  std::FILE* file = input.get();
  bool needsConversion = false;
  const long length = fileLength(file);
  std::uint32_t formatBytes = 0;
  if (const auto formatChunk = findChunk(file, length, "fmt ", &formatBytes)) {
    std::uint8_t format[40] = {};
    const std::size_t wanted = formatBytes < sizeof format ? formatBytes : sizeof format;
    // A format chunk that claims more bytes than the file holds is not recognised.
    const bool withinFile =
        *formatChunk + 8 + std::uint64_t{formatBytes} <= static_cast<std::uint64_t>(length);
    if (formatBytes >= 16 && withinFile &&
        readAt(file, static_cast<long>(*formatChunk + 8), format, wanted)) {
      needsConversion = !isSixteenBitPcm(format, formatBytes);
    }
  }
  std::uint8_t header[kWavHeaderBytes];
  if (!needsConversion && readAt(file, 0, header, sizeof header) && hasTag(header, "RIFF")) {
    const DirectRate rate = directRateOf(header);
    needsConversion = rate.known && (rate.channelByte == 1 || !playsAtOwnRate(rate.rateFactor));
  }
  return needsConversion;
}

bool playsAtOwnRate(float rateFactor) {
  const double factor = rateFactor;
  return factor > 0.95 && factor < 1.05;
}

bool checkDirectWavHeader(TrackState& track, InputFile input, ProcessLog& log) {
  // Each refusal below returns with the input still here, which closes it.
  const long length = fileLength(input.get());
  if (length < kShortestDirectFile) {
    log.write("This WAV file is too short! It will be ignored !\n");
    return false;
  }
  if (static_cast<std::uint64_t>(length) > kLongestDataLength) {
    log.write(kWavTooLongText);
    return false;
  }
  log.print("Opened - File length: %ld\n", length);
  track.dataLength = static_cast<std::uint32_t>(length - static_cast<long>(kWavHeaderBytes));

  // Only the header is read here; the samples are read in one go by the load.
  track.header.fill(0);
  readAt(input.get(), 0, track.header.data(), kWavHeaderBytes);
  if (!hasTag(track.header.data(), "RIFF")) {
    log.write("This is not a valid WAV file at all !\n");
    return false;
  }

  const DirectRate rate = directRateOf(track.header.data());
  track.channelByte = rate.channelByte;
  if (!rate.known) {
    log.write(
        "WAV header data seem to be corrupted. Try old command utility by using the -f option to "
        "load as raw data.\n");
    return false;
  }
  track.rateField = rate.rateField;
  track.rateFactor = rate.rateFactor;
  track.inputFile = std::move(input);
  return true;
}

bool holdsAudioAlone(const TrackState& track) {
  const std::uint8_t* header = track.header.data();
  return hasTag(header, "RIFF") && hasTag(header + 8, "WAVE") && hasTag(header + 12, "fmt ") &&
         readLe32(header + 16) == 16 && hasTag(header + 36, "data") &&
         readLe32(header + 40) == track.dataLength;
}

ConvertedInput openConvertedInput(TrackState& track, const std::string& path) {
  // Handed to the track only when usable; a refusal returns with it here, which closes it.
  InputFile input = openInputFile(path);
  if (!input) return ConvertedInput::CannotOpen;
  const long length = fileLength(input.get());
  if (length < static_cast<long>(kWavHeaderBytes)) return ConvertedInput::NoAudio;

  track.header.fill(0);
  readAt(input.get(), 0, track.header.data(), kWavHeaderBytes);
  // The converter may put chunks (its name, the source's tags) before the samples, making the
  // header longer and of any length; starting at byte 44 regardless would put the audio off
  // the frame grid. The engine is handed the audio and a header that ends where it starts.
  std::uint64_t audioStart = kWavHeaderBytes;
  std::uint32_t dataChunkSize = 0;
  if (const auto dataChunk = findChunk(input.get(), length, "data", &dataChunkSize)) {
    audioStart = *dataChunk + 8;
    std::memcpy(track.header.data() + 36, "data", 4);
    writeLe32(track.header.data() + 40, dataChunkSize);
  }
  const std::uint64_t dataLength = static_cast<std::uint64_t>(length) - audioStart;
  if (dataLength > kLongestDataLength) return ConvertedInput::TooLong;
  std::fseek(input.get(), static_cast<long>(audioStart), SEEK_SET);
  track.dataLength = static_cast<std::uint32_t>(dataLength);
  track.rateFactor = 1.0f;
  track.inputFile = std::move(input);
  return ConvertedInput::Ready;
}

std::array<std::uint8_t, kWavHeaderBytes> resultHeader(std::uint32_t targetLength) {
  std::array<std::uint8_t, kWavHeaderBytes> header = kResultHeaderTemplate;
  writeLe32(header.data() + 4, targetLength + 36);
  writeLe32(header.data() + 40, targetLength);
  return header;
}

bool saveResult(TrackState& track, ProcessLog& log, const SampleAwait& awaitSamples,
                const WrittenFileStep& beforeNaming) {
  log.write("Step 5: Saving result: \n");
  track.header = resultHeader(track.targetLength);
  track.outputPath = track.resultPath;

  // Written under another name first: a full disk or a failed close must neither leave a
  // truncated result behind nor replace a good one from an earlier job.
  const std::string& partialPath = track.partialResultPath;
  const WavWrite written =
      writeWav(partialPath, track.header, track.buffer.bytes, track.targetLength, awaitSamples);
  if (written == WavWrite::Written && beforeNaming) beforeNaming(partialPath);
  if (written == WavWrite::Written &&
      std::rename(partialPath.c_str(), track.outputPath.c_str()) == 0) {
    log.print("WAV Saved as %s\n\n", track.outputPath.c_str());
    return true;
  }
  // What stood at the name before is not ours to remove.
  if (written != WavWrite::NotCreated) std::remove(partialPath.c_str());
  log.print("Could not write %s !\n\n", track.outputPath.c_str());
  return false;
}

bool writeNewWav(const std::string& path, const std::uint8_t* samples, std::uint32_t byteCount) {
  const WavWrite written = writeWav(path, resultHeader(byteCount), samples, byteCount, {});
  if (written == WavWrite::Failed) std::remove(path.c_str());
  return written == WavWrite::Written;
}

}  // namespace engine
