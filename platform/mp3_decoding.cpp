#include "platform/mp3_decoding.h"

#include <dlfcn.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/signals.h"

namespace platform {

namespace {

// The libraries' entry points, looked up at run time: linking them would make every start of the
// program load about 130 libraries, where only a job with MP3s needs them. The headers' major
// versions name the libraries whose structures they describe.
struct Libav {
  decltype(&avformat_alloc_context) allocateFormat;
  decltype(&av_find_input_format) findInputFormat;
  decltype(&avformat_open_input) openInput;
  decltype(&avformat_find_stream_info) findStreamInfo;
  decltype(&avformat_close_input) closeInput;
  decltype(&av_read_frame) readPacket;
  decltype(&avcodec_find_decoder) findDecoder;
  decltype(&avcodec_alloc_context3) allocateDecoder;
  decltype(&avcodec_free_context) freeDecoder;
  decltype(&avcodec_parameters_to_context) parametersToDecoder;
  decltype(&avcodec_open2) openDecoder;
  decltype(&avcodec_send_packet) sendPacket;
  decltype(&avcodec_receive_frame) receiveFrame;
  decltype(&av_packet_alloc) allocatePacket;
  decltype(&av_packet_free) freePacket;
  decltype(&av_packet_unref) unrefPacket;
  decltype(&av_frame_alloc) allocateFrame;
  decltype(&av_frame_free) freeFrame;
  decltype(&av_frame_unref) unrefFrame;
};

template <class Function>
bool bind(void* library, const char* name, Function& function) {
  function = library ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
  return function != nullptr;
}

// The libraries stay loaded: every MP3 of the job needs them again.
std::optional<Libav> loadLibav() {
  const int flags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
  void* util = dlopen("libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR), flags);
  void* codec = dlopen("libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR), flags);
  void* format = dlopen("libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR), flags);
  decltype(&av_log_set_level) setLogLevel = nullptr;
  decltype(&avutil_version) utilVersion = nullptr;
  decltype(&avcodec_version) codecVersion = nullptr;
  decltype(&avformat_version) formatVersion = nullptr;
  Libav av{};
  const bool bound =
      bind(util, "av_log_set_level", setLogLevel) && bind(util, "avutil_version", utilVersion) &&
      bind(codec, "avcodec_version", codecVersion) &&
      bind(format, "avformat_version", formatVersion) &&
      bind(format, "avformat_alloc_context", av.allocateFormat) &&
      bind(format, "av_find_input_format", av.findInputFormat) &&
      bind(format, "avformat_open_input", av.openInput) &&
      bind(format, "avformat_find_stream_info", av.findStreamInfo) &&
      bind(format, "avformat_close_input", av.closeInput) &&
      bind(format, "av_read_frame", av.readPacket) &&
      bind(codec, "avcodec_find_decoder", av.findDecoder) &&
      bind(codec, "avcodec_alloc_context3", av.allocateDecoder) &&
      bind(codec, "avcodec_free_context", av.freeDecoder) &&
      bind(codec, "avcodec_parameters_to_context", av.parametersToDecoder) &&
      bind(codec, "avcodec_open2", av.openDecoder) &&
      bind(codec, "avcodec_send_packet", av.sendPacket) &&
      bind(codec, "avcodec_receive_frame", av.receiveFrame) &&
      bind(codec, "av_packet_alloc", av.allocatePacket) &&
      bind(codec, "av_packet_free", av.freePacket) &&
      bind(codec, "av_packet_unref", av.unrefPacket) &&
      bind(util, "av_frame_alloc", av.allocateFrame) && bind(util, "av_frame_free", av.freeFrame) &&
      bind(util, "av_frame_unref", av.unrefFrame);
  if (!bound) return std::nullopt;
  // A library of the same major version but older than the headers may lack fields that are read
  // here (the channel layout came in a minor version).
  if (utilVersion() < LIBAVUTIL_VERSION_INT || codecVersion() < LIBAVCODEC_VERSION_INT ||
      formatVersion() < LIBAVFORMAT_VERSION_INT) {
    return std::nullopt;
  }
  // The command's messages were discarded; so are the libraries'.
  setLogLevel(AV_LOG_QUIET);
  return av;
}

const Libav* libav() {
  static const std::optional<Libav> loaded = loadLibav();
  return loaded ? &*loaded : nullptr;
}

// One MP3 opened for decoding, its file and decoder closed at the end of the scope.
class OpenedMp3 {
 public:
  OpenedMp3(const Libav& av, const std::string& path) : av_(av) {
    // "file:" keeps a name with a colon from being read as another protocol.
    const std::string url = "file:" + path;
    format_ = av.allocateFormat();
    if (!format_) return;
    // A stop also ends a read that finds no frame over a long stretch of the file.
    format_->interrupt_callback.callback = [](void*) { return stopRequested() ? 1 : 0; };
    if (av.openInput(&format_, url.c_str(), av.findInputFormat("mp3"), nullptr) < 0) return;
    if (av.findStreamInfo(format_, nullptr) < 0) return;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
        stream_ = static_cast<int>(i);
        break;
      }
    }
    if (stream_ < 0) return;
    const AVStream& stream = *format_->streams[stream_];
    const AVCodec* decoder = av.findDecoder(stream.codecpar->codec_id);
    decoder_ = decoder ? av.allocateDecoder(decoder) : nullptr;
    if (!decoder_ || av.parametersToDecoder(decoder_, stream.codecpar) < 0) return;
    decoder_->pkt_timebase = stream.time_base;
    opened_ = av.openDecoder(decoder_, decoder, nullptr) >= 0;
  }
  ~OpenedMp3() {
    av_.freeDecoder(&decoder_);
    if (format_) av_.closeInput(&format_);
  }
  OpenedMp3(const OpenedMp3&) = delete;
  OpenedMp3& operator=(const OpenedMp3&) = delete;

  bool opened() const { return opened_; }
  // Two planes of floats, as the command's conversion to interleaved floats copies them.
  bool givesStereoPlanes() const {
    return decoder_->sample_fmt == AV_SAMPLE_FMT_FLTP && decoder_->ch_layout.nb_channels == 2;
  }
  AVFormatContext* format() { return format_; }
  AVCodecContext* decoder() { return decoder_; }
  int stream() const { return stream_; }

 private:
  const Libav& av_;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  int stream_ = -1;
  bool opened_ = false;
};

// A packet and a frame, freed at the end of the scope.
struct DecodingBuffers {
  explicit DecodingBuffers(const Libav& av)
      : av(av), packet(av.allocatePacket()), frame(av.allocateFrame()) {}
  ~DecodingBuffers() {
    av.freePacket(&packet);
    av.freeFrame(&frame);
  }
  DecodingBuffers(const DecodingBuffers&) = delete;
  DecodingBuffers& operator=(const DecodingBuffers&) = delete;
  const Libav& av;
  AVPacket* packet;
  AVFrame* frame;
};

// What the command counts and what went to the handler so far.
struct Tally {
  // Decoding calls that gave a frame, and that failed.
  std::uint64_t decoded = 0;
  std::uint64_t failed = 0;
  std::uint64_t framesGiven = 0;
};

// The command's -max_error_rate, a float: when more than this share of its decoding calls
// failed, it exits with status 69.
constexpr float kMostFailedShare = 2.0 / 3;

// Gives onFrames every frame the decoder has ready; false, giving nothing more, at a frame that
// is not two planes of floats at sampleRateHz.
bool takeDecodedFrames(const Libav& av, AVCodecContext* decoder, int sampleRateHz, AVFrame* frame,
                       std::vector<float>& interleaved, const StereoFramesHandler& onFrames,
                       Tally& tally) {
  int received = 0;
  while ((received = av.receiveFrame(decoder, frame)) >= 0) {
    ++tally.decoded;
    const bool stereoPlanes = frame->format == AV_SAMPLE_FMT_FLTP &&
                              frame->ch_layout.nb_channels == 2 &&
                              frame->sample_rate == sampleRateHz;
    const auto frames = static_cast<std::size_t>(frame->nb_samples);
    if (stereoPlanes && frames > 0) {
      interleaved.resize(2 * frames);
      const auto* left = reinterpret_cast<const float*>(frame->extended_data[0]);
      const auto* right = reinterpret_cast<const float*>(frame->extended_data[1]);
      for (std::size_t i = 0; i < frames; ++i) {
        interleaved[2 * i] = left[i];
        interleaved[2 * i + 1] = right[i];
      }
      onFrames(interleaved.data(), frames);
      tally.framesGiven += frames;
    }
    av.unrefFrame(frame);
    if (!stereoPlanes) return false;
  }
  if (received != AVERROR(EAGAIN) && received != AVERROR_EOF) ++tally.failed;
  return true;
}

}  // namespace

Mp3DecodingOutcome decodeMp3InProcess(const std::string& path,
                                      const StereoFramesHandler& onFrames) {
  const Libav* av = libav();
  if (!av) return {InProcessDecoding::Unavailable};
  OpenedMp3 mp3(*av, path);
  if (!mp3.opened()) return {InProcessDecoding::Failed};
  if (!mp3.givesStereoPlanes()) return {InProcessDecoding::Unavailable};
  DecodingBuffers buffers(*av);
  if (!buffers.packet || !buffers.frame) return {InProcessDecoding::Failed};
  std::vector<float> interleaved;
  const int sampleRateHz = mp3.decoder()->sample_rate;
  Tally tally;
  // As the command does, a damaged frame is passed over, with no frame asked for after it, and a
  // read error ends the stream.
  while (av->readPacket(mp3.format(), buffers.packet) >= 0) {
    const bool ours = buffers.packet->stream_index == mp3.stream();
    const int sent = ours ? av->sendPacket(mp3.decoder(), buffers.packet) : 0;
    av->unrefPacket(buffers.packet);
    if (stopRequested()) return {InProcessDecoding::Failed, tally.framesGiven};
    if (!ours) continue;
    if (sent < 0 && sent != AVERROR_EOF) {
      ++tally.failed;
      continue;
    }
    if (!takeDecodedFrames(*av, mp3.decoder(), sampleRateHz, buffers.frame, interleaved, onFrames,
                           tally)) {
      return {InProcessDecoding::Changed, tally.framesGiven};
    }
  }
  // The read may have ended for a stop.
  if (stopRequested()) return {InProcessDecoding::Failed, tally.framesGiven};
  av->sendPacket(mp3.decoder(), nullptr);
  if (!takeDecodedFrames(*av, mp3.decoder(), sampleRateHz, buffers.frame, interleaved, onFrames,
                         tally)) {
    return {InProcessDecoding::Changed, tally.framesGiven};
  }
  // In the command's own float arithmetic.
  const bool mostlyFailed = static_cast<float>(tally.decoded + tally.failed) * kMostFailedShare <
                            static_cast<float>(tally.failed);
  return {mostlyFailed ? InProcessDecoding::Failed : InProcessDecoding::Whole, tally.framesGiven};
}

}  // namespace platform
