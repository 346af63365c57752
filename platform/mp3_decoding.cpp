#include "platform/mp3_decoding.h"

#include <cstdint>
#include <vector>

#include "platform/libav.h"
#include "platform/signals.h"

namespace platform {

namespace {

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
    decoder_ = decoder ? av.allocateCodec(decoder) : nullptr;
    if (!decoder_ || av.parametersToCodec(decoder_, stream.codecpar) < 0) return;
    decoder_->pkt_timebase = stream.time_base;
    opened_ = av.openCodec(decoder_, decoder, nullptr) >= 0;
  }
  ~OpenedMp3() {
    av_.freeCodec(&decoder_);
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
