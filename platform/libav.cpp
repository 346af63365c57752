#include "platform/libav.h"

#include <dlfcn.h>

extern "C" {
#include <libavutil/log.h>
}

#include <optional>

namespace platform {

namespace {

// The libraries stay loaded: every MP3 of the job needs them again. Bound lazily, since the
// hundred libraries they bring hold many more entry points than an MP3 calls.
constexpr int kLoading = RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE;

template <class Function>
bool bind(void* library, const char* name, Function& function) {
  function = library ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
  return function != nullptr;
}

std::optional<Libav> loadLibav() {
  void* util = dlopen("libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR), kLoading);
  void* codec = dlopen("libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR), kLoading);
  void* format = dlopen("libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR), kLoading);
  decltype(&av_log_set_level) setLogLevel = nullptr;
  decltype(&avutil_version) utilVersion = nullptr;
  Libav av{};
  const bool bound =
      bind(util, "av_log_set_level", setLogLevel) && bind(util, "avutil_version", utilVersion) &&
      bind(format, "avformat_alloc_context", av.allocateFormat) &&
      bind(format, "av_find_input_format", av.findInputFormat) &&
      bind(format, "avformat_open_input", av.openInput) &&
      bind(format, "avformat_find_stream_info", av.findStreamInfo) &&
      bind(format, "avformat_close_input", av.closeInput) &&
      bind(format, "av_read_frame", av.readPacket) &&
      bind(format, "avformat_alloc_output_context2", av.allocateOutput) &&
      bind(format, "avformat_new_stream", av.newStream) &&
      bind(format, "avio_open", av.openOutputFile) &&
      bind(format, "avio_closep", av.closeOutputFile) &&
      bind(format, "avformat_write_header", av.writeHeader) &&
      bind(format, "av_interleaved_write_frame", av.writePacket) &&
      bind(format, "av_write_trailer", av.writeTrailer) &&
      bind(format, "avformat_free_context", av.freeFormat) &&
      bind(format, "avformat_version", av.formatVersion) &&
      bind(codec, "avcodec_find_decoder", av.findDecoder) &&
      bind(codec, "avcodec_find_encoder", av.findEncoder) &&
      bind(codec, "avcodec_alloc_context3", av.allocateCodec) &&
      bind(codec, "avcodec_free_context", av.freeCodec) &&
      bind(codec, "avcodec_parameters_to_context", av.parametersToCodec) &&
      bind(codec, "avcodec_parameters_from_context", av.parametersFromCodec) &&
      bind(codec, "avcodec_open2", av.openCodec) &&
      bind(codec, "avcodec_send_packet", av.sendPacket) &&
      bind(codec, "avcodec_receive_frame", av.receiveFrame) &&
      bind(codec, "avcodec_send_frame", av.sendFrame) &&
      bind(codec, "avcodec_receive_packet", av.receivePacket) &&
      bind(codec, "avcodec_version", av.codecVersion) &&
      bind(codec, "av_packet_alloc", av.allocatePacket) &&
      bind(codec, "av_packet_free", av.freePacket) &&
      bind(codec, "av_packet_unref", av.unrefPacket) &&
      bind(codec, "av_packet_rescale_ts", av.rescalePacketTimes) &&
      bind(util, "av_frame_alloc", av.allocateFrame) && bind(util, "av_frame_free", av.freeFrame) &&
      bind(util, "av_frame_unref", av.unrefFrame) &&
      bind(util, "av_frame_get_buffer", av.frameBuffer) && bind(util, "av_dict_set", av.setEntry) &&
      bind(util, "av_dict_free", av.freeDictionary) &&
      bind(util, "av_dict_count", av.countEntries) && bind(util, "av_strtod", av.parseNumber);
  if (!bound) return std::nullopt;
  // A library of the same major version but older than the headers may lack fields that are read
  // here (the channel layout came in a minor version).
  if (utilVersion() < LIBAVUTIL_VERSION_INT || av.codecVersion() < LIBAVCODEC_VERSION_INT ||
      av.formatVersion() < LIBAVFORMAT_VERSION_INT) {
    return std::nullopt;
  }
  // The command's messages were discarded; so are the libraries'.
  setLogLevel(AV_LOG_QUIET);
  return av;
}

}  // namespace

const Libav* libav() {
  static const std::optional<Libav> loaded = loadLibav();
  return loaded ? &*loaded : nullptr;
}

}  // namespace platform
