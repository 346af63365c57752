// The converter's command for the extraction of a source's audio into the temporary WAV file,
// as the text written to the process log and as the argument list the child is started with.
#pragma once

#include <string>
#include <vector>

namespace batch {

// The demuxers of the media files that a music library holds; the converter and its prober
// read nothing else.
inline constexpr const char* kMediaFileFormats =
    "mp3,mov,avi,flv,ogg,asf,matroska,mpeg,mpegts,wav,w64,flac,aac,aiff,wv,ape";

// Name of the converter's output in the job's output folder.
inline constexpr const char* kTemporaryWavName = "TMPOUT.WAV";

// The converter's output for the entry at position (counted from 1) of a job whose entries run
// several at once: "TMPOUT-7.WAV". Tied to the entry, not to the worker, so that the log reads
// the same whichever worker takes it.
std::string numberedTemporaryWavName(std::size_t position);

struct ConverterCommand {
  // The command as one line, every path between double quotes and nothing escaped.
  std::string commandLine;
  // The same command for the child: the program name, then one argument per piece, each path
  // whole whatever it holds (blanks, double quotes, any letters).
  std::vector<std::string> arguments;
};

// outputFolderPath ends with the separator.
std::string temporaryWavPath(const std::string& outputFolderPath,
                             const std::string& temporaryWavName = kTemporaryWavName);

// The converter reads sourcePath and writes 16-bit stereo 44100 Hz PCM, bit-exact, into the
// temporary WAV file of the output folder. Its input is read only as a media file on the local
// file system: playlists, concat scripts and network addresses are refused, so that no audio
// from outside what the user chose can come in. The command line shows the command without
// those limits, in the form the process log has always had.
ConverterCommand conversionCommand(const std::string& sourcePath,
                                   const std::string& outputFolderPath,
                                   const std::string& temporaryWavName = kTemporaryWavName);

}  // namespace batch
