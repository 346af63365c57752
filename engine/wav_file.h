// WAV files at both ends of a track: the checks of a WAV source read directly, the opening of
// the converter's output, and the save of the result with its fixed 44-byte header.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/process_log.h"
#include "engine/track_state.h"

namespace engine {

// Log lines of inputs too long for a 32-bit data length, or holding no audio at all.
inline constexpr std::string_view kWavTooLongText =
    "This WAV file is too long (4 GiB or more)! It will be ignored !\n";
inline constexpr std::string_view kConvertedNoAudioText =
    "ERROR: Temporary file TMPOUT.WAV holds no audio ! This file will not be processed.\n\n";
inline constexpr std::string_view kConvertedTooLongText =
    "ERROR: Temporary file TMPOUT.WAV is too long (4 GiB or more) ! This file will not be "
    "processed.\n\n";

// A finished result is first written under its own name followed by this, then renamed.
inline constexpr std::string_view kPartialResultSuffix = ".part";

// True when path is a RIFF WAV file whose samples are known not to be 16-bit integer PCM
// (another bit depth, floating point, or a compressed format code, also inside an extensible
// header). Such a source goes through the converter like any other media. False when the file
// is 16-bit PCM, or cannot be read or recognised (the direct checks then judge it).
bool wavNeedsConversion(const std::string& path);

// Header checks of a WAV source read directly. track.inputFile is open for reading. Accepted
// (true): the file is positioned at byte 44 and dataLength, header, rateField, channelByte and
// rateFactor are set. Rejected (false): the file is closed. Writes its own log lines.
bool checkDirectWavHeader(TrackState& track, ProcessLog& log);

enum class ConvertedInput {
  Ready,       // inputFile open at the first audio byte; dataLength, header, rateFactor set
  CannotOpen,  // the file could not be opened; nothing logged
  Unusable,    // too short to hold a header, or too long for the data length; logged, closed
};

// Opens the converter's output at path. Its audio runs from the start of its data chunk to
// the end of the file, whatever chunks precede it; the header handed on reads as a plain
// 44-byte header (bytes 36 to 39 "data"). The rate factor is exactly 1.
ConvertedInput openConvertedInput(TrackState& track, const std::string& path, ProcessLog& log);

// The result's path: outputFolderPath, then the base name of sourcePath (after its last
// separator) with its last 4 characters, normally the dot and extension, replaced by "_eq.wav".
// A base name shorter than that is replaced whole, so the result stays inside the folder.
std::string resultFilePath(const std::string& sourcePath, const std::string& outputFolderPath);

// The fixed 44-byte header of a result of targetLength bytes of 44100 Hz stereo 16-bit PCM.
std::array<std::uint8_t, kWavHeaderBytes> resultHeader(std::uint32_t targetLength);

// Saves the PCM region [0, targetLength) of the sample buffer as a 16-bit stereo 44100 Hz WAV
// at track.resultPath, or named after the source with "_eq.wav" in track.outputFolderPath when
// that is empty; sets track.outputPath.
// Writes a temporary file beside it and renames it into place, so an earlier result survives
// any failure. On failure logs it, leaves no partial file and clears track.mp3Requested.
void saveResult(TrackState& track, ProcessLog& log);

}  // namespace engine
