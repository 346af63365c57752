#include "media/mp3_completeness.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace media {

namespace {

// Many frames per read; a cover picture inside a tag is seeked over, never read.
constexpr std::size_t kReadBufferBytes = 64 * 1024;

constexpr std::uint64_t kId3v2HeaderBytes = 10;
constexpr std::uint64_t kId3v2FooterBytes = 10;
constexpr std::uint8_t kId3v2HasFooter = 0x10;
constexpr std::uint64_t kId3v1Bytes = 128;
constexpr std::uint64_t kApeFooterBytes = 32;
constexpr std::uint64_t kApeHeaderBytes = 32;
constexpr std::uint32_t kApeHasHeader = 0x80000000u;

constexpr std::uint64_t kFrameHeaderBytes = 4;
// Bit rates in kbit/s by the header's index; 0 (free format) gives no frame length and 15 is
// not allowed, so both are refused.
constexpr std::uint16_t kMpeg1Kbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                          112, 128, 160, 192, 224, 256, 320, 0};
constexpr std::uint16_t kMpeg2Kbps[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                          64, 80, 96, 112, 128, 144, 160, 0};
// MPEG-2 halves these rates and MPEG-2.5 quarters them.
constexpr std::uint32_t kMpeg1RatesHz[3] = {44100, 48000, 32000};
constexpr int kVersionMpeg1 = 3;
constexpr int kVersionMpeg2 = 2;
constexpr int kVersionReserved = 1;
constexpr int kLayerIII = 1;

constexpr std::uint32_t kXingHasFrameCount = 0x1;
constexpr std::uint32_t kXingHasByteCount = 0x2;
constexpr std::uint32_t kXingHasToc = 0x4;
constexpr std::uint32_t kXingHasQuality = 0x8;
constexpr std::size_t kXingTocBytes = 100;
// The encoder tag that follows the Xing fields: delay and padding, 12 bits each, start at its
// byte 21, and its checksum at byte 34.
constexpr std::size_t kEncoderTagBytes = 36;
constexpr std::size_t kEncoderTagDelayOffset = 21;
constexpr std::size_t kEncoderTagCrcOffset = 34;
constexpr std::size_t kEncoderTagCrcCoverage = 190;

std::uint32_t readBe32(const std::uint8_t* bytes) {
  return (static_cast<std::uint32_t>(bytes[0]) << 24) |
         (static_cast<std::uint32_t>(bytes[1]) << 16) |
         (static_cast<std::uint32_t>(bytes[2]) << 8) | static_cast<std::uint32_t>(bytes[3]);
}

std::uint32_t readLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The part of the file last read, so that the walk over the frames reads in large blocks.
struct BufferedFile {
  std::FILE* file = nullptr;
  std::uint64_t length = 0;
  std::vector<std::uint8_t> bytes;
  std::uint64_t bytesOffset = 0;
};

// The count bytes at offset, or nullptr when they do not all lie in the file or the read fails.
// The pointer holds until the next call.
const std::uint8_t* bytesAt(BufferedFile& in, std::uint64_t offset, std::size_t count) {
  if (offset > in.length || count > in.length - offset) return nullptr;
  if (offset < in.bytesOffset || offset - in.bytesOffset > in.bytes.size() ||
      count > in.bytes.size() - (offset - in.bytesOffset)) {
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max(count, kReadBufferBytes), in.length - offset));
    in.bytes.resize(wanted);
    in.bytesOffset = offset;
    // The length came from ftell, so every offset up to it fits in a long.
    if (std::fseek(in.file, static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fread(in.bytes.data(), 1, wanted, in.file) != wanted) {
      in.bytes.clear();
      return nullptr;
    }
  }
  return in.bytes.data() + (offset - in.bytesOffset);
}

// The offset just after the ID3v2 tags that open the file; nullopt when a tag's size is not
// syncsafe or runs past the end.
std::optional<std::uint64_t> skipId3v2Tags(BufferedFile& in) {
  std::uint64_t offset = 0;
  while (in.length - offset >= kId3v2HeaderBytes) {
    const std::uint8_t* header = bytesAt(in, offset, kId3v2HeaderBytes);
    if (!header) return std::nullopt;
    if (std::memcmp(header, "ID3", 3) != 0) break;
    if ((header[6] | header[7] | header[8] | header[9]) & 0x80) return std::nullopt;
    // The size counts neither the header nor the footer.
    const std::uint64_t bodyBytes = (std::uint64_t{header[6]} << 21) |
                                    (std::uint64_t{header[7]} << 14) |
                                    (std::uint64_t{header[8]} << 7) | std::uint64_t{header[9]};
    const std::uint64_t tagBytes =
        kId3v2HeaderBytes + bodyBytes + ((header[5] & kId3v2HasFooter) ? kId3v2FooterBytes : 0);
    if (tagBytes > in.length - offset) return std::nullopt;
    offset += tagBytes;
  }
  return offset;
}

// Where the frames end: before a closing ID3v1 tag and an APE tag in front of it. nullopt when
// an APE tag's size reaches back before framesStart.
std::optional<std::uint64_t> framesEnd(BufferedFile& in, std::uint64_t framesStart) {
  std::uint64_t end = in.length;
  if (end - framesStart >= kId3v1Bytes) {
    const std::uint8_t* tag = bytesAt(in, end - kId3v1Bytes, 3);
    if (!tag) return std::nullopt;
    if (std::memcmp(tag, "TAG", 3) == 0) end -= kId3v1Bytes;
  }
  if (end - framesStart >= kApeFooterBytes) {
    const std::uint8_t* footer = bytesAt(in, end - kApeFooterBytes, kApeFooterBytes);
    if (!footer) return std::nullopt;
    if (std::memcmp(footer, "APETAGEX", 8) == 0) {
      // The size counts the items and the footer, not the header.
      const std::uint64_t tagBytes =
          std::uint64_t{readLe32(footer + 12)} +
          ((readLe32(footer + 20) & kApeHasHeader) ? kApeHeaderBytes : 0);
      if (tagBytes < kApeFooterBytes || tagBytes > end - framesStart) return std::nullopt;
      end -= tagBytes;
    }
  }
  return end;
}

struct FrameHeader {
  int version = 0;  // the header's 2-bit field: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  std::uint32_t sampleRateHz = 0;
  std::uint32_t frameBytes = 0;  // the header included
  std::uint32_t samplesPerFrame = 0;
  std::size_t xingOffset = 0;  // after the header, its checksum and the side information
};

std::optional<FrameHeader> parseFrameHeader(const std::uint8_t* bytes) {
  if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0) return std::nullopt;
  FrameHeader header;
  header.version = (bytes[1] >> 3) & 3;
  const int layer = (bytes[1] >> 1) & 3;
  const bool hasChecksum = (bytes[1] & 1) == 0;
  const int bitRateIndex = bytes[2] >> 4;
  const int rateIndex = (bytes[2] >> 2) & 3;
  const std::uint32_t paddingBytes = (bytes[2] >> 1) & 1;
  const bool mono = (bytes[3] >> 6) == 3;
  if (header.version == kVersionReserved || layer != kLayerIII || rateIndex == 3) {
    return std::nullopt;
  }
  const bool mpeg1 = header.version == kVersionMpeg1;
  const std::uint32_t kbps = (mpeg1 ? kMpeg1Kbps : kMpeg2Kbps)[bitRateIndex];
  if (kbps == 0) return std::nullopt;
  const int rateShift = mpeg1 ? 0 : header.version == kVersionMpeg2 ? 1 : 2;
  header.sampleRateHz = kMpeg1RatesHz[rateIndex] >> rateShift;
  header.samplesPerFrame = mpeg1 ? 1152 : 576;
  // Bytes per frame = samples per frame / 8 bits × bit rate / sample rate, rounded down; the
  // padding byte makes up the fractions.
  header.frameBytes = header.samplesPerFrame / 8 * kbps * 1000 / header.sampleRateHz + paddingBytes;
  const std::size_t sideInfoBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
  header.xingOffset = kFrameHeaderBytes + (hasChecksum ? 2 : 0) + sideInfoBytes;
  return header;
}

// The encoder tag's checksum: CRC-16 (polynomial 0x8005, bits reflected, from 0) over the first
// 190 bytes of the frame. Where the tag sits early (mono, MPEG-2) the checksum's own two bytes,
// and the bytes past a short frame, fall inside that range; the converter summed them as 0.
std::uint16_t encoderTagCrc(const std::uint8_t* frame, std::size_t frameBytes,
                            std::size_t crcOffset) {
  std::uint16_t crc = 0;
  for (std::size_t index = 0; index < kEncoderTagCrcCoverage; ++index) {
    const bool summed = index < frameBytes && (index < crcOffset || index >= crcOffset + 2);
    crc ^= summed ? frame[index] : 0;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

struct EncoderHeader {
  bool isHeaderFrame = false;  // the first frame is the Xing/Info frame and holds no audio
  std::optional<std::uint32_t> frameCount;  // audio frames, the header frame not counted
  std::uint32_t trimmedSamples = 0;         // encoder delay plus padding
};

// What the first frame says about the stream; nullopt when it has a Xing/Info header whose
// fields run past the frame.
std::optional<EncoderHeader> readEncoderHeader(const std::uint8_t* frame,
                                               const FrameHeader& header) {
  EncoderHeader result;
  std::size_t at = header.xingOffset;
  if (at + 8 > header.frameBytes ||
      (std::memcmp(frame + at, "Xing", 4) != 0 && std::memcmp(frame + at, "Info", 4) != 0)) {
    return result;
  }
  result.isHeaderFrame = true;
  const std::uint32_t flags = readBe32(frame + at + 4);
  at += 8;
  const std::size_t tagOffset =
      at + ((flags & kXingHasFrameCount) ? 4 : 0) + ((flags & kXingHasByteCount) ? 4 : 0) +
      ((flags & kXingHasToc) ? kXingTocBytes : 0) + ((flags & kXingHasQuality) ? 4 : 0);
  if (tagOffset > header.frameBytes) return std::nullopt;
  if (flags & kXingHasFrameCount) result.frameCount = readBe32(frame + at);

  // Bytes after a bare Xing header are not taken for delay and padding unless the checksum says
  // they are an encoder tag.
  if (tagOffset + kEncoderTagBytes <= header.frameBytes) {
    const std::uint8_t* tag = frame + tagOffset;
    const std::uint16_t storedCrc = static_cast<std::uint16_t>((tag[kEncoderTagCrcOffset] << 8) |
                                                               tag[kEncoderTagCrcOffset + 1]);
    if (encoderTagCrc(frame, header.frameBytes, tagOffset + kEncoderTagCrcOffset) == storedCrc) {
      const std::uint8_t* field = tag + kEncoderTagDelayOffset;
      const std::uint32_t delay = (std::uint32_t{field[0]} << 4) | (field[1] >> 4);
      const std::uint32_t padding = ((std::uint32_t{field[1]} & 0x0F) << 8) | field[2];
      result.trimmedSamples = delay + padding;
    }
  }
  return result;
}

}  // namespace

bool mp3HoldsWholeTrack(const std::string& path, std::uint64_t wavFrames) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return false;
  const long length = std::ftell(file.get());
  if (length < 0) return false;
  BufferedFile in;
  in.file = file.get();
  in.length = static_cast<std::uint64_t>(length);

  const std::optional<std::uint64_t> start = skipId3v2Tags(in);
  if (!start) return false;
  const std::optional<std::uint64_t> end = framesEnd(in, *start);
  if (!end) return false;

  std::optional<FrameHeader> first;
  EncoderHeader encoder;
  std::uint64_t frames = 0;
  for (std::uint64_t offset = *start; offset < *end; ++frames) {
    const std::uint8_t* bytes = bytesAt(in, offset, kFrameHeaderBytes);
    const std::optional<FrameHeader> header =
        bytes && *end - offset >= kFrameHeaderBytes ? parseFrameHeader(bytes) : std::nullopt;
    if (!header || header->frameBytes > *end - offset) return false;
    if (!first) {
      first = header;
      const std::uint8_t* frame = bytesAt(in, offset, header->frameBytes);
      const std::optional<EncoderHeader> read =
          frame ? readEncoderHeader(frame, *header) : std::nullopt;
      if (!read) return false;
      encoder = *read;
    } else if (header->version != first->version || header->sampleRateHz != first->sampleRateHz) {
      return false;
    }
    offset += header->frameBytes;
  }
  if (!first) return false;

  const std::uint64_t audioFrames = frames - (encoder.isHeaderFrame ? 1 : 0);
  if (encoder.frameCount && *encoder.frameCount > audioFrames) return false;
  const std::uint64_t decodedSamples = audioFrames * first->samplesPerFrame;
  // A tag that trims more than the frames hold was written for frames that are missing.
  return decodedSamples >= encoder.trimmedSamples &&
         decodedSamples - encoder.trimmedSamples >= wavFrames;
}

}  // namespace media
