#include "batch/source_damage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/input_file.h"

namespace batch {

namespace {

// The converter's longest lines name a file; longer ones carry nothing we look for.
constexpr std::size_t kLongestMessageLine = 8192;
// A source decodes to this much less than its container states only when it is cut or
// damaged: more than the rounding of a stated duration or a codec's padding and delay.
constexpr double kShortfallSeconds = 1.0;
constexpr double kShortfallShare = 0.02;
constexpr double kDecodedBytesPerSecond = 44100.0 * 4;

// An Ogg page: "OggS", version, flags, granule, serial, sequence, checksum, segment count,
// then the segment table; its body is the sum of the table's lengths.
constexpr std::size_t kOggPageHeaderBytes = 27;
constexpr std::size_t kLongestOggPage = kOggPageHeaderBytes + 255 + 255 * 255;
constexpr std::uint8_t kOggEndOfStream = 0x04;

// The level of a line tagged "[ctx @ 0x...] [level] text" or "[level] text", and its text.
bool splitLevel(std::string_view line, std::string_view& level, std::string_view& text) {
  if (line.starts_with('[')) {
    const std::size_t close = line.find(']');
    if (close != std::string_view::npos && line.substr(0, close).find(" @ ") != std::string_view::npos) {
      line.remove_prefix(std::min(line.size(), close + 2));
    }
  }
  if (!line.starts_with('[')) return false;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  level = line.substr(1, close - 1);
  text = line.substr(std::min(line.size(), close + 2));
  return true;
}

// "00:03:25.47" as seconds.
std::optional<double> clockSeconds(std::string_view text) {
  unsigned hours = 0, minutes = 0;
  double seconds = 0.0;
  const std::string copy(text.substr(0, 32));
  if (std::sscanf(copy.c_str(), "%u:%u:%lf", &hours, &minutes, &seconds) != 3) return std::nullopt;
  return hours * 3600.0 + minutes * 60.0 + seconds;
}

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

}  // namespace

void ConverterMessages::take(const char* bytes, std::size_t count) {
  for (std::size_t index = 0; index < count; ++index) {
    const char c = bytes[index];
    if (c == '\n' || c == '\r') {
      if (!lineTooLong_) takeLine(line_);
      line_.clear();
      lineTooLong_ = false;
    } else if (line_.size() < kLongestMessageLine) {
      line_ += c;
    } else {
      lineTooLong_ = true;
    }
  }
}

void ConverterMessages::takeLine(const std::string& line) {
  std::string_view level;
  std::string_view text;
  if (!splitLevel(line, level, text)) return;
  if (level == "error" || level == "fatal" || level == "panic") {
    errorsReported_ = true;
    return;
  }
  if (level == "warning" && text.find("Estimating duration from bitrate") != std::string_view::npos) {
    durationEstimated_ = true;
    return;
  }
  const std::size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return;
  text.remove_prefix(start);
  // "Stream #0:1[0x2](und): Audio: aac ...", one line for each stream the source holds.
  if (level == "info" && text.starts_with("Stream #")) {
    streamSeen_ = true;
    if (text.find(": Audio: ") != std::string_view::npos) audioStreamSeen_ = true;
  }
  if (statedSeconds_) return;
  constexpr std::string_view kDuration = "Duration: ";
  if (level == "info" && text.starts_with(kDuration)) {
    statedSeconds_ = clockSeconds(text.substr(kDuration.size()));
    // "Duration: N/A" states nothing; later lines (an output's) are not the source's.
    if (!statedSeconds_) statedSeconds_ = -1.0;
  }
}

std::optional<double> ConverterMessages::statedSeconds() const {
  if (durationEstimated_ || !statedSeconds_ || *statedSeconds_ <= 0.0) return std::nullopt;
  return statedSeconds_;
}

bool oggEndMissing(const std::string& path) {
  const engine::InputFile input = engine::openInputFile(path);
  if (!input) return false;
  std::FILE* file = input.get();
  char magic[4] = {};
  if (std::fread(magic, 1, sizeof magic, file) != sizeof magic || std::memcmp(magic, "OggS", 4) != 0) {
    return false;
  }
  if (std::fseek(file, 0, SEEK_END) != 0) return false;
  const long length = std::ftell(file);
  if (length < 0) return false;
  const long tailStart = std::max(0L, length - static_cast<long>(kLongestOggPage));
  std::string tail(static_cast<std::size_t>(length - tailStart), '\0');
  if (std::fseek(file, tailStart, SEEK_SET) != 0 ||
      std::fread(tail.data(), 1, tail.size(), file) != tail.size()) {
    return false;
  }
  // Pages are walked from each capture pattern in the tail until a walk ends exactly at the end
  // of the file: its last page is the file's. A pattern inside a page's body starts a walk
  // that goes astray, and the next one is tried.
  const auto byteAt = [&](std::size_t offset) { return static_cast<std::uint8_t>(tail[offset]); };
  for (std::size_t start = tail.find("OggS"); start != std::string::npos;
       start = tail.find("OggS", start + 1)) {
    std::size_t page = start;
    for (;;) {
      if (page + kOggPageHeaderBytes > tail.size() || tail.compare(page, 4, "OggS") != 0) break;
      const std::size_t segments = byteAt(page + kOggPageHeaderBytes - 1);
      std::size_t pageEnd = page + kOggPageHeaderBytes + segments;
      if (pageEnd > tail.size()) break;
      for (std::size_t segment = 0; segment < segments; ++segment) {
        pageEnd += byteAt(page + kOggPageHeaderBytes + segment);
      }
      if (pageEnd == tail.size()) return (byteAt(page + 5) & kOggEndOfStream) == 0;
      if (pageEnd > tail.size()) break;
      page = pageEnd;
    }
  }
  // No page ends where the file does: it was cut inside one.
  return true;
}

std::string sourceDamageWarning(const ConverterMessages& messages, std::uint64_t decodedBytes,
                                bool endMissing) {
  const double decoded = static_cast<double>(decodedBytes) / kDecodedBytesPerSecond;
  if (const std::optional<double> stated = messages.statedSeconds()) {
    if (*stated - decoded > std::max(kShortfallSeconds, kShortfallShare * *stated)) {
      return "the source ends early: " + secondsText(decoded) + " s of " + secondsText(*stated) +
             " s could be decoded";
    }
  }
  if (endMissing) {
    return "the source ends early: its end is missing, " + secondsText(decoded) +
           " s could be decoded";
  }
  if (messages.errorsReported()) {
    return "the source is damaged: the converter reported errors while decoding it, " +
           secondsText(decoded) + " s could be decoded";
  }
  return {};
}

}  // namespace batch
