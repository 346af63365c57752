// The converter's own libraries, loaded into this process on first use and kept: the entry
// points that decode and encode an MP3. For this folder's MP3 decoding and encoding only.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/eval.h>
}

namespace platform {

// Linking the libraries would make every start of the program load about 130 of them, where only
// a job with MP3s needs them, so their entry points are looked up at run time. The headers' major
// versions name the libraries whose structures they describe.
struct Libav {
  decltype(&avformat_alloc_context) allocateFormat;
  decltype(&av_find_input_format) findInputFormat;
  decltype(&avformat_open_input) openInput;
  decltype(&avformat_find_stream_info) findStreamInfo;
  decltype(&avformat_close_input) closeInput;
  decltype(&av_read_frame) readPacket;
  decltype(&avformat_alloc_output_context2) allocateOutput;
  decltype(&avformat_new_stream) newStream;
  decltype(&avio_open) openOutputFile;
  decltype(&avio_closep) closeOutputFile;
  decltype(&avformat_write_header) writeHeader;
  decltype(&av_interleaved_write_frame) writePacket;
  decltype(&av_write_trailer) writeTrailer;
  decltype(&avformat_free_context) freeFormat;
  decltype(&avformat_version) formatVersion;
  decltype(&avcodec_find_decoder) findDecoder;
  decltype(&avcodec_find_encoder) findEncoder;
  decltype(&avcodec_alloc_context3) allocateCodec;
  decltype(&avcodec_free_context) freeCodec;
  decltype(&avcodec_parameters_to_context) parametersToCodec;
  decltype(&avcodec_parameters_from_context) parametersFromCodec;
  decltype(&avcodec_open2) openCodec;
  decltype(&avcodec_send_packet) sendPacket;
  decltype(&avcodec_receive_frame) receiveFrame;
  decltype(&avcodec_send_frame) sendFrame;
  decltype(&avcodec_receive_packet) receivePacket;
  decltype(&avcodec_version) codecVersion;
  decltype(&av_packet_alloc) allocatePacket;
  decltype(&av_packet_free) freePacket;
  decltype(&av_packet_unref) unrefPacket;
  decltype(&av_packet_rescale_ts) rescalePacketTimes;
  decltype(&av_frame_alloc) allocateFrame;
  decltype(&av_frame_free) freeFrame;
  decltype(&av_frame_unref) unrefFrame;
  decltype(&av_frame_get_buffer) frameBuffer;
  decltype(&av_dict_set) setEntry;
  decltype(&av_dict_free) freeDictionary;
  decltype(&av_dict_count) countEntries;
  // A number as the converter's options read it ("-1.5dB" is the factor of that level).
  decltype(&av_strtod) parseNumber;
};

// Null when the libraries are missing or older than the headers.
const Libav* libav();

}  // namespace platform
