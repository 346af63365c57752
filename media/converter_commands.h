// The converter's command for the extraction of a source's audio into the temporary WAV file,
// as the text written to the process log and as the argument list the child is started with.
#pragma once

#include <string>
#include <vector>

#include "batch/result_names.h"

namespace batch {

// The demuxers of the media files that a music library holds; the converter and its prober
// read nothing else.
inline constexpr const char* kMediaFileFormats =
    "mp3,mov,avi,flv,ogg,asf,matroska,mpeg,mpegts,wav,w64,flac,aac,aiff,wv,ape";

// The converter's messages on its standard error: each line tagged with its level ("[error]"),
// down to the information that states the source's duration; no progress lines.
inline constexpr const char* kConverterMessageLevel = "level+info";

struct ConverterCommand {
  // The command as one line, every path between double quotes and nothing escaped.
  std::string commandLine;
  // The same command for the child: the program name, then one argument per piece, each path
  // whole whatever it holds (blanks, double quotes, any letters).
  std::vector<std::string> arguments;
};

// The converter reads sourcePath and writes 16-bit stereo 44100 Hz PCM, bit-exact, into the
// temporary WAV file of the output folder. Its input is read only as a media file on the local
// file system: playlists, concat scripts and network addresses are refused, so that no audio
// from outside what the user chose can come in. The command line shows the command without
// those limits, in the form the process log has always had. With a workFolderPath (closing
// separator included) the converter writes the file there instead. The command line names it
// TMPOUT.WAV in the output folder whatever temporaryWavName is, so that the log reads the same
// for any number of workers.
ConverterCommand conversionCommand(const std::string& sourcePath,
                                   const std::string& outputFolderPath,
                                   const std::string& temporaryWavName = kTemporaryWavName,
                                   const std::string& workFolderPath = {});

}  // namespace batch
