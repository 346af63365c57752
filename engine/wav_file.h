// WAV files at both ends of a track: the checks of a WAV source read directly, the opening of
// the converter's output, and the save of the result with its fixed 44-byte header.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/input_file.h"
#include "engine/process_log.h"
#include "engine/track_state.h"

namespace engine {

// Longest PCM that a saved WAV can describe: its RIFF size field holds the length plus 36.
constexpr std::uint64_t kMaxTargetLength = 0xFFFFFFFFull - 36 - (0xFFFFFFFFull - 36) % 4;

// Whether a rate factor lies in the band where the data is played at its own rate: strictly
// between 0.95 and 1.05.
bool playsAtOwnRate(float rateFactor);

// True when path is a RIFF WAV file that the engine cannot take as it stands, so that it goes
// through the converter like any other media: its samples are known not to be 16-bit integer
// PCM (another bit depth, floating point, or a compressed format code, also inside an
// extensible header), or, read as the direct checks read the 44-byte header, it is mono (its
// channel byte is 1) or stereo with a rate factor outside the band where it plays at its own
// rate. Taking such data directly would hold or drop whole frames, or split a mono track's
// samples between the channels. False when the file is none of these, or cannot be read or
// recognised (the direct checks then judge it).
bool wavNeedsConversion(const std::string& path);

// True when the WAV source accepted by checkDirectWavHeader (track.header and dataLength as it
// set them) holds its audio alone: its 44-byte header is a format chunk of 16 bytes and a data
// chunk that runs to the file's end, which leaves no room for a tag.
bool holdsAudioAlone(const TrackState& track);

// Header checks of a WAV source read directly; input is the source, open for reading.
// Accepted (true): input becomes track.inputFile, positioned at byte 44, and dataLength,
// header, rateField, channelByte and rateFactor are set. Rejected (false): input is closed by
// the time the call returns. Writes its own log lines.
bool checkDirectWavHeader(TrackState& track, InputFile input, ProcessLog& log);

// How the opening of the converter's output went. Nothing is logged: the job, which named the
// file, tells the user.
enum class ConvertedInput {
  Ready,       // track.inputFile open at the first audio byte; dataLength, header, rateFactor set
  CannotOpen,  // the file could not be opened
  NoAudio,     // too short to hold a header; closed
  TooLong,     // audio of 4 GiB or more, beyond the 32-bit data length; closed
};

// Opens the converter's output at path. Its audio runs from the start of its data chunk to
// the end of the file, whatever chunks precede it; the header handed on reads as a plain
// 44-byte header (bytes 36 to 39 "data"). The rate factor is exactly 1.
ConvertedInput openConvertedInput(TrackState& track, const std::string& path);

// The fixed 44-byte header of a result of targetLength bytes of 44100 Hz stereo 16-bit PCM.
std::array<std::uint8_t, kWavHeaderBytes> resultHeader(std::uint32_t targetLength);

// Saves the PCM region [0, targetLength) of the sample buffer as a 16-bit stereo 44100 Hz WAV
// at track.resultPath and sets track.outputPath to it. Writes track.partialResultPath first, a
// name where nothing may stand yet (a link or a file there is a failure, never written
// through), and renames it into place, so an earlier result survives any failure; an empty
// path is one.
// True when saved; on failure logs it, leaves no partial file and returns false. When the
// samples are still being finished on another thread, awaitSamples(end) returns once [0, end)
// is final; the save writes each stretch as soon as it is. beforeNaming, when given, is run on
// the written file under its temporary name, before it takes its own (the source's tags).
using SampleAwait = std::function<void(std::uint32_t end)>;
using WrittenFileStep = std::function<void(const std::string& partialPath)>;
bool saveResult(TrackState& track, ProcessLog& log, const SampleAwait& awaitSamples = {},
                const WrittenFileStep& beforeNaming = {});

// Writes byteCount bytes of 16-bit stereo 44100 Hz samples as a WAV file with the result's
// header at path, where nothing may stand yet (a link or a file there is a failure, never
// written through). True when written whole; otherwise nothing of it is left.
bool writeNewWav(const std::string& path, const std::uint8_t* samples, std::uint32_t byteCount);

}  // namespace engine
