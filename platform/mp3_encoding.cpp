#include "platform/mp3_encoding.h"

#include <algorithm>
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
// The buffer filter's description of the WAV's audio, and the planes of floats that the encoder
// takes after a filter, as the command's filter graph hands them.
constexpr const char* kWavAudio =
    "time_base=1/44100:sample_rate=44100:sample_fmt=s16:channel_layout=stereo";
constexpr const char* kFilteredAudio = "sample_fmts=fltp:sample_rates=44100:channel_layouts=stereo";

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

// The command's one filter between the WAV and the encoder, handing frames of the encoder's size,
// or nothing.
class FilterGraph {
 public:
  FilterGraph(const LibavFilters& filters, const std::string& filter, int frameSize)
      : filters_(filters), graph_(filters.allocateGraph()) {
    const std::size_t equals = filter.find('=');
    const std::string name = filter.substr(0, equals);
    const std::string options = equals == std::string::npos ? "" : filter.substr(equals + 1);
    AVFilterContext* middle = nullptr;
    AVFilterContext* format = nullptr;
    opened_ = graph_ && create("abuffer", "in", kWavAudio, source_) &&
              create(name.c_str(), "filter", options.c_str(), middle) &&
              create("aformat", "format", kFilteredAudio, format) &&
              create("abuffersink", "out", nullptr, sink_) &&
              filters.link(source_, 0, middle, 0) >= 0 && filters.link(middle, 0, format, 0) >= 0 &&
              filters.link(format, 0, sink_, 0) >= 0 && filters.configure(graph_, nullptr) >= 0;
    if (opened_) filters.setFrameSize(sink_, static_cast<unsigned>(frameSize));
  }
  ~FilterGraph() { filters_.freeGraph(&graph_); }
  FilterGraph(const FilterGraph&) = delete;
  FilterGraph& operator=(const FilterGraph&) = delete;

  bool opened() const { return opened_; }
  AVFilterContext* source() { return source_; }
  AVFilterContext* sink() { return sink_; }

 private:
  bool create(const char* filterName, const char* instance, const char* options,
              AVFilterContext*& made) {
    const AVFilter* filter = filters_.filterNamed(filterName);
    return filter && filters_.createFilter(&made, filter, instance, options, nullptr, graph_) >= 0;
  }

  const LibavFilters& filters_;
  AVFilterGraph* graph_;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  bool opened_ = false;
};

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

// The WAV's packet and frame, the encoder's frame and packet, freed at the end of the scope.
struct EncodingBuffers {
  explicit EncodingBuffers(const Libav& av)
      : av(av),
        wavPacket(av.allocatePacket()),
        wavFrame(av.allocateFrame()),
        encoderFrame(av.allocateFrame()),
        mp3Packet(av.allocatePacket()) {}
  ~EncodingBuffers() {
    av.freePacket(&wavPacket);
    av.freePacket(&mp3Packet);
    av.freeFrame(&wavFrame);
    av.freeFrame(&encoderFrame);
  }
  EncodingBuffers(const EncodingBuffers&) = delete;
  EncodingBuffers& operator=(const EncodingBuffers&) = delete;
  bool made() const { return wavPacket && wavFrame && encoderFrame && mp3Packet; }
  const Libav& av;
  AVPacket* wavPacket;
  AVFrame* wavFrame;
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

// Frames of the encoder's size in two planes of 16-bit values, filled from the WAV's interleaved
// frames.
class PlanarFrames {
 public:
  PlanarFrames(const Libav& av, AVFrame& frame, int frameSize)
      : av_(av), frame_(frame), frameSize_(frameSize) {}

  // Takes count frames; false when the encoding failed.
  bool take(const std::uint8_t* interleaved, int count, Encoding& encoding) {
    while (count > 0) {
      if (held_ == 0 && !fresh()) return false;
      const int taken = std::min(count, frameSize_ - held_);
      auto* left = reinterpret_cast<std::int16_t*>(frame_.data[0]) + held_;
      auto* right = reinterpret_cast<std::int16_t*>(frame_.data[1]) + held_;
      for (int i = 0; i < taken; ++i) {
        std::memcpy(left + i, interleaved + i * kFrameBytes, 2);
        std::memcpy(right + i, interleaved + i * kFrameBytes + 2, 2);
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
  bool fresh() {
    frame_.format = AV_SAMPLE_FMT_S16P;
    frame_.ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    frame_.sample_rate = kSampleRateHz;
    frame_.nb_samples = frameSize_;
    return av_.frameBuffer(&frame_, 0) >= 0;
  }

  const Libav& av_;
  AVFrame& frame_;
  const int frameSize_;
  int held_ = 0;
};

// Passes the frames the filter has ready to the encoder; false when the encoding failed.
bool drainFilter(const Libav& av, const LibavFilters& filters, FilterGraph& graph, AVFrame& frame,
                 Encoding& encoding) {
  int taken = 0;
  while ((taken = filters.takeFrame(graph.sink(), &frame)) >= 0) {
    const bool encoded = encoding.encode(&frame);
    av.unrefFrame(&frame);
    if (!encoded) return false;
  }
  return taken == AVERROR(EAGAIN) || taken == AVERROR_EOF;
}

// A packet of the WAV as one frame of interleaved 16-bit values for the filter.
bool wavFrameOf(const Libav& av, const AVPacket& packet, std::int64_t pts, AVFrame& frame) {
  frame.format = AV_SAMPLE_FMT_S16;
  frame.ch_layout = AV_CHANNEL_LAYOUT_STEREO;
  frame.sample_rate = kSampleRateHz;
  frame.nb_samples = packet.size / kFrameBytes;
  frame.pts = pts;
  if (av.frameBuffer(&frame, 0) < 0) return false;
  std::memcpy(frame.data[0], packet.data, static_cast<std::size_t>(frame.nb_samples) * kFrameBytes);
  return true;
}

// Reads the WAV to its end and encodes it, through the filter when there is one: Written once the
// encoder has given its last packet.
InProcessEncoding encodeWav(const Libav& av, WavInput& wav, Mp3Encoder& encoder, FilterGraph* graph,
                            Encoding& encoding, EncodingBuffers& buffers) {
  const LibavFilters* filters = graph ? libavFilters() : nullptr;
  PlanarFrames planar(av, *buffers.encoderFrame, encoder.context()->frame_size);
  std::int64_t framesRead = 0;
  int read = 0;
  while ((read = av.readPacket(wav.format(), buffers.wavPacket)) >= 0) {
    const AVPacket& packet = *buffers.wavPacket;
    const int frames = packet.size / kFrameBytes;
    bool encoded = true;
    if (filters) {
      // A last packet of less than a frame (a WAV cut within one) holds nothing to filter.
      encoded = frames == 0 || (wavFrameOf(av, packet, framesRead, *buffers.wavFrame) &&
                                filters->addFrame(graph->source(), buffers.wavFrame) >= 0 &&
                                drainFilter(av, *filters, *graph, *buffers.encoderFrame, encoding));
      av.unrefFrame(buffers.wavFrame);
    } else {
      encoded = planar.take(packet.data, frames, encoding);
    }
    framesRead += frames;
    av.unrefPacket(buffers.wavPacket);
    if (stopRequested()) return InProcessEncoding::Stopped;
    if (!encoded) return InProcessEncoding::Failed;
  }
  if (stopRequested()) return InProcessEncoding::Stopped;
  if (read != AVERROR_EOF) return InProcessEncoding::Failed;
  const bool ended = filters
                         ? filters->addFrame(graph->source(), nullptr) >= 0 &&
                               drainFilter(av, *filters, *graph, *buffers.encoderFrame, encoding)
                         : planar.flush(encoding);
  return ended && encoding.encode(nullptr) ? InProcessEncoding::Written : InProcessEncoding::Failed;
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
  const bool filtered = !settings.filter.empty();
  const LibavFilters* filters = filtered ? libavFilters() : nullptr;
  if (filtered && !filters) return InProcessEncoding::Unavailable;
  Mp3Encoder encoder(*av, settings, filtered ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16P);
  if (!encoder.opened()) return InProcessEncoding::Unavailable;
  std::optional<FilterGraph> graph;
  if (filtered) {
    graph.emplace(*filters, settings.filter, encoder.context()->frame_size);
    if (!graph->opened()) return InProcessEncoding::Unavailable;
  }
  EncodingBuffers buffers(*av);
  Mp3Output output(*av, settings.mp3Path);
  AVStream* stream = mp3Stream(*av, output, encoder);
  if (!buffers.made() || !stream) return InProcessEncoding::Unavailable;
  if (!startMp3File(*av, settings, *output.format())) return InProcessEncoding::Failed;
  Encoding encoding(*av, encoder, output, *stream, buffers, onSeconds);
  const InProcessEncoding encoded =
      encodeWav(*av, wav, encoder, graph ? &*graph : nullptr, encoding, buffers);
  if (encoded != InProcessEncoding::Written) return encoded;
  return av->writeTrailer(output.format()) >= 0 && output.close() ? InProcessEncoding::Written
                                                                  : InProcessEncoding::Failed;
}

}  // namespace platform
