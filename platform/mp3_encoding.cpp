#include "platform/mp3_encoding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/libav.h"
#include "platform/signals.h"

namespace platform {

namespace {

constexpr int kSampleRateHz = 44100;
constexpr int kChannels = 2;
constexpr int kFrameBytes = kChannels * 2;
// lame's encoder under the name the command finds for an MP3 output.
constexpr std::string_view kEncoderName = "libmp3lame";
// The command's level filter, "volume=" and a level in decibels.
constexpr std::string_view kVolumeFilter = "volume=";

// The WAV opened for reading: its one stream of 16-bit stereo 44100 Hz PCM without tags, or
// nothing.
class WavInput {
 public:
  WavInput(const Libav& av, const std::string& path) : av_(av) {
    const std::string url = "file:" + path;
    if (av.openInput(&format_, url.c_str(), av.findInputFormat("wav"), nullptr) < 0) return;
    if (av.findStreamInfo(format_, nullptr) < 0 || format_->nb_streams != 1) return;
    const AVStream& stream = *format_->streams[0];
    const AVCodecParameters& audio = *stream.codecpar;
    // The command would carry the WAV's tags into the MP3's.
    plain_ = audio.codec_id == AV_CODEC_ID_PCM_S16LE && audio.ch_layout.nb_channels == kChannels &&
             audio.sample_rate == kSampleRateHz && av.countEntries(format_->metadata) == 0 &&
             av.countEntries(stream.metadata) == 0;
  }
  ~WavInput() {
    if (format_) av_.closeInput(&format_);
  }
  WavInput(const WavInput&) = delete;
  WavInput& operator=(const WavInput&) = delete;

  bool plain() const { return plain_; }
  AVFormatContext* format() { return format_; }

 private:
  const Libav& av_;
  AVFormatContext* format_ = nullptr;
  bool plain_ = false;
};

// lame opened as the command opens it for these settings, or nothing.
class Mp3Encoder {
 public:
  Mp3Encoder(const Libav& av, const Mp3EncoderSettings& settings, AVSampleFormat sampleFormat)
      : av_(av) {
    const AVCodec* codec = av.findEncoder(AV_CODEC_ID_MP3);
    if (!codec || kEncoderName != codec->name) return;
    context_ = av.allocateCodec(codec);
    if (!context_) return;
    context_->sample_rate = kSampleRateHz;
    context_->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    context_->sample_fmt = sampleFormat;
    context_->time_base = {1, kSampleRateHz};
    context_->compression_level = settings.algorithmQuality;
    if (settings.vbrQuality) {
      // As the command's -q:a sets it; the encoder's own default rate of 0 is left.
      context_->flags |= AV_CODEC_FLAG_QSCALE;
      context_->global_quality = FF_QP2LAMBDA * *settings.vbrQuality;
    } else {
      context_->bit_rate = std::int64_t{settings.kbps} * 1000;
    }
    opened_ = av.openCodec(context_, codec, nullptr) >= 0 && context_->frame_size > 0;
  }
  ~Mp3Encoder() { av_.freeCodec(&context_); }
  Mp3Encoder(const Mp3Encoder&) = delete;
  Mp3Encoder& operator=(const Mp3Encoder&) = delete;

  bool opened() const { return opened_; }
  AVCodecContext* context() { return context_; }

 private:
  const Libav& av_;
  AVCodecContext* context_ = nullptr;
  bool opened_ = false;
};

// The factor by which the command's filter multiplies the WAV's values, as that filter reads its
// text; null when the filter is not the level change.
std::optional<float> levelFactor(const Libav& av, const std::string& filter) {
  if (filter.compare(0, kVolumeFilter.size(), kVolumeFilter) != 0) return std::nullopt;
  const char* level = filter.c_str() + kVolumeFilter.size();
  char* end = nullptr;
  const double factor = av.parseNumber(level, &end);
  if (end == level || *end != '\0' || !std::isfinite(factor)) return std::nullopt;
  return static_cast<float>(factor);
}

// The MP3 file and its muxer; the file is closed at the end of the scope.
class Mp3Output {
 public:
  Mp3Output(const Libav& av, const std::string& path) : av_(av) {
    av.allocateOutput(&format_, nullptr, "mp3", path.c_str());
  }
  ~Mp3Output() {
    if (!format_) return;
    if (format_->pb) av_.closeOutputFile(&format_->pb);
    av_.freeFormat(format_);
  }
  Mp3Output(const Mp3Output&) = delete;
  Mp3Output& operator=(const Mp3Output&) = delete;

  AVFormatContext* format() { return format_; }
  // Closes the file; false when what it held could not all be written.
  bool close() { return av_.closeOutputFile(&format_->pb) >= 0; }

 private:
  const Libav& av_;
  AVFormatContext* format_ = nullptr;
};

// The WAV's packet, the encoder's frame and packet, freed at the end of the scope.
struct EncodingBuffers {
  explicit EncodingBuffers(const Libav& av)
      : av(av),
        wavPacket(av.allocatePacket()),
        encoderFrame(av.allocateFrame()),
        mp3Packet(av.allocatePacket()) {}
  ~EncodingBuffers() {
    av.freePacket(&wavPacket);
    av.freePacket(&mp3Packet);
    av.freeFrame(&encoderFrame);
  }
  EncodingBuffers(const EncodingBuffers&) = delete;
  EncodingBuffers& operator=(const EncodingBuffers&) = delete;
  bool made() const { return wavPacket && encoderFrame && mp3Packet; }
  const Libav& av;
  AVPacket* wavPacket;
  AVFrame* encoderFrame;
  AVPacket* mp3Packet;
};

// The encoding under way: frames go to the encoder, its packets to the muxer.
class Encoding {
 public:
  Encoding(const Libav& av, Mp3Encoder& encoder, Mp3Output& output, AVStream& stream,
           EncodingBuffers& buffers, const std::function<void(double)>& onSeconds)
      : av_(av),
        encoder_(*encoder.context()),
        output_(output),
        stream_(stream),
        buffers_(buffers),
        onSeconds_(onSeconds) {}

  // Gives the encoder a frame (null: the end) and writes every packet it has ready.
  bool encode(AVFrame* frame) {
    if (frame) {
      frame->pts = framesEncoded_;
      framesEncoded_ += frame->nb_samples;
    }
    if (av_.sendFrame(&encoder_, frame) < 0) return false;
    int received = 0;
    AVPacket* packet = buffers_.mp3Packet;
    while ((received = av_.receivePacket(&encoder_, packet)) >= 0) {
      av_.rescalePacketTimes(packet, encoder_.time_base, stream_.time_base);
      packet->stream_index = stream_.index;
      if (av_.writePacket(output_.format(), packet) < 0) return false;
    }
    if (received != AVERROR(EAGAIN) && received != AVERROR_EOF) return false;
    tell(frame == nullptr);
    return true;
  }

 private:
  void tell(bool atEnd) {
    if (!onSeconds_ || (!atEnd && framesEncoded_ - framesTold_ < kSampleRateHz)) return;
    framesTold_ = framesEncoded_;
    onSeconds_(static_cast<double>(framesEncoded_) / kSampleRateHz);
  }

  const Libav& av_;
  AVCodecContext& encoder_;
  Mp3Output& output_;
  AVStream& stream_;
  EncodingBuffers& buffers_;
  const std::function<void(double)>& onSeconds_;
  std::int64_t framesEncoded_ = 0;
  std::int64_t framesTold_ = 0;
};

// Frames of the encoder's size in two planes, filled from the WAV's interleaved frames: of 16-bit
// values as they are, or, through a level change, of floats as the command's filter graph hands
// them (each value scaled to full scale 1 and multiplied by the factor in single precision).
class PlanarFrames {
 public:
  PlanarFrames(const Libav& av, AVFrame& frame, int frameSize, std::optional<float> level)
      : av_(av), frame_(frame), frameSize_(frameSize), level_(level) {}

  // Takes count frames; false when the encoding failed.
  bool take(const std::uint8_t* interleaved, int count, Encoding& encoding) {
    while (count > 0) {
      if (held_ == 0 && !fresh()) return false;
      const int taken = std::min(count, frameSize_ - held_);
      if (level_) {
        fill<float>(interleaved, taken, [this](std::int16_t value) {
          return static_cast<float>(value) * (1.0f / 32768.0f) * *level_;
        });
      } else {
        fill<std::int16_t>(interleaved, taken, [](std::int16_t value) { return value; });
      }
      interleaved += taken * kFrameBytes;
      count -= taken;
      held_ += taken;
      if (held_ == frameSize_ && !flush(encoding)) return false;
    }
    return true;
  }

  // Hands over the last, shorter frame.
  bool flush(Encoding& encoding) {
    if (held_ == 0) return true;
    frame_.nb_samples = held_;
    held_ = 0;
    const bool encoded = encoding.encode(&frame_);
    av_.unrefFrame(&frame_);
    return encoded;
  }

 private:
  template <class Value, class Convert>
  void fill(const std::uint8_t* interleaved, int count, Convert convert) {
    auto* left = reinterpret_cast<Value*>(frame_.data[0]) + held_;
    auto* right = reinterpret_cast<Value*>(frame_.data[1]) + held_;
    for (int i = 0; i < count; ++i) {
      std::int16_t pair[kChannels];
      std::memcpy(pair, interleaved + i * kFrameBytes, kFrameBytes);
      left[i] = convert(pair[0]);
      right[i] = convert(pair[1]);
    }
  }

  bool fresh() {
    frame_.format = level_ ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16P;
    frame_.ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    frame_.sample_rate = kSampleRateHz;
    frame_.nb_samples = frameSize_;
    return av_.frameBuffer(&frame_, 0) >= 0;
  }

  const Libav& av_;
  AVFrame& frame_;
  const int frameSize_;
  const std::optional<float> level_;
  int held_ = 0;
};

// Reads the WAV to its end and encodes it: Written once the encoder has given its last packet.
InProcessEncoding encodeWav(const Libav& av, WavInput& wav, PlanarFrames& planar,
                            Encoding& encoding, AVPacket& packet) {
  int read = 0;
  while ((read = av.readPacket(wav.format(), &packet)) >= 0) {
    const bool encoded = planar.take(packet.data, packet.size / kFrameBytes, encoding);
    av.unrefPacket(&packet);
    if (stopRequested()) return InProcessEncoding::Stopped;
    if (!encoded) return InProcessEncoding::Failed;
  }
  if (stopRequested()) return InProcessEncoding::Stopped;
  if (read != AVERROR_EOF) return InProcessEncoding::Failed;
  return planar.flush(encoding) && encoding.encode(nullptr) ? InProcessEncoding::Written
                                                            : InProcessEncoding::Failed;
}

std::string versionText(const char* library, unsigned version) {
  return library + std::to_string(AV_VERSION_MAJOR(version)) + "." +
         std::to_string(AV_VERSION_MINOR(version)) + "." +
         std::to_string(AV_VERSION_MICRO(version));
}

// The MP3's one stream, named as the command names it: the encoder in the stream's tags, which
// the first frame's header carries. Null when it could not be made.
AVStream* mp3Stream(const Libav& av, Mp3Output& output, Mp3Encoder& encoder) {
  AVFormatContext* format = output.format();
  AVStream* stream = format ? av.newStream(format, nullptr) : nullptr;
  if (!stream || av.parametersFromCodec(stream->codecpar, encoder.context()) < 0) return nullptr;
  stream->time_base = encoder.context()->time_base;
  const std::string encoderTag =
      versionText("Lavc", av.codecVersion()) + " " + encoder.context()->codec->name;
  return av.setEntry(&stream->metadata, "encoder", encoderTag.c_str(), 0) >= 0 ? stream : nullptr;
}

// Opens the file and writes the MP3's tag; false when it could not.
bool startMp3File(const Libav& av, const Mp3EncoderSettings& settings, AVFormatContext& format) {
  const std::string url = "file:" + settings.mp3Path;
  if (av.openOutputFile(&format.pb, url.c_str(), AVIO_FLAG_WRITE) < 0) return false;
  AVDictionary* options = nullptr;
  av.setEntry(&options, "id3v2_version", std::to_string(settings.id3v2Version).c_str(), 0);
  const int header = av.writeHeader(&format, &options);
  av.freeDictionary(&options);
  return header >= 0;
}

}  // namespace

InProcessEncoding encodeMp3InProcess(const Mp3EncoderSettings& settings,
                                     const std::function<void(double seconds)>& onSeconds) {
  if (stopRequested()) return InProcessEncoding::Stopped;
  const Libav* av = libav();
  if (!av) return InProcessEncoding::Unavailable;
  WavInput wav(*av, settings.wavPath);
  if (!wav.plain()) return InProcessEncoding::Unavailable;
  std::optional<float> level;
  if (!settings.filter.empty()) {
    level = levelFactor(*av, settings.filter);
    if (!level) return InProcessEncoding::Unavailable;
  }
  // After any filter the command's graph hands the encoder floats, even where the filter
  // changes nothing.
  Mp3Encoder encoder(*av, settings, level ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16P);
  if (!encoder.opened()) return InProcessEncoding::Unavailable;
  EncodingBuffers buffers(*av);
  Mp3Output output(*av, settings.mp3Path);
  AVStream* stream = mp3Stream(*av, output, encoder);
  if (!buffers.made() || !stream) return InProcessEncoding::Unavailable;
  if (!startMp3File(*av, settings, *output.format())) return InProcessEncoding::Failed;
  Encoding encoding(*av, encoder, output, *stream, buffers, onSeconds);
  PlanarFrames planar(*av, *buffers.encoderFrame, encoder.context()->frame_size, level);
  const InProcessEncoding encoded = encodeWav(*av, wav, planar, encoding, *buffers.wavPacket);
  if (encoded != InProcessEncoding::Written) return encoded;
  return av->writeTrailer(output.format()) >= 0 && output.close() ? InProcessEncoding::Written
                                                                  : InProcessEncoding::Failed;
}

}  // namespace platform
