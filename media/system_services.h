// The operating-system work of one track's media steps (running the converter, renaming and
// deleting its files, asking whether the job is to stop), behind an interface so that tests can
// record and script it.
#pragma once

#include <string>
#include <vector>

#include "media/converter_commands.h"
#include "media/converter_progress.h"
#include "platform/child_process.h"
#include "platform/file_deletion.h"
#include "platform/file_rename.h"
#include "platform/mp3_decoding.h"

namespace media {

enum class EncodingOutcome {
  Written,
  // Not written whole; what was written is left for the caller to delete.
  Failed,
  Stopped,
};

class SystemServices {
 public:
  virtual ~SystemServices() = default;
  virtual platform::ChildOutcome runChild(const std::vector<std::string>& arguments) = 0;
  // A child whose standard output the caller reads (the prober's findings, decoded audio).
  virtual platform::ChildOutcome runChildReadingOutput(const std::vector<std::string>& arguments,
                                                       const platform::OutputHandler& onOutput) = 0;
  // A child whose standard error the caller reads (the converter's messages); by default it is
  // run as runChild, its messages unread.
  virtual platform::ChildOutcome runChildReadingErrors(const std::vector<std::string>& arguments,
                                                       const platform::OutputHandler& onErrors) {
    (void)onErrors;
    return runChild(arguments);
  }
  // The converter converting or encoding, its messages read by onErrors and its progress told to
  // onProgress as it goes; by default it is run as runChildReadingErrors, its progress untold.
  virtual platform::ChildOutcome runConverter(const std::vector<std::string>& arguments,
                                              const platform::OutputHandler& onErrors,
                                              const ProgressHandler& onProgress) {
    (void)onProgress;
    return runChildReadingErrors(arguments, onErrors);
  }
  // The WAV encoded to the MP3 by the encoder's command mp3Arguments(encoding), onProgress told
  // the seconds it has encoded as it goes; by default that command, run by runConverter.
  virtual EncodingOutcome encodeMp3(const Mp3Encoding& encoding, const ProgressHandler& onProgress);
  // The MP3 at mp3Path as a player decodes it, its frames given to onFrames in order; false
  // when it could not be decoded whole. By default the converter's decoding command, read as it
  // writes.
  virtual bool decodeMp3(const std::string& mp3Path, const platform::StereoFramesHandler& onFrames);
  virtual platform::DeleteOutcome deleteFile(const std::string& path) = 0;
  // Gives the file at from the name to, replacing a file there; false when it failed.
  virtual bool renameFile(const std::string& from, const std::string& to) {
    return platform::renameFile(from, to);
  }
  // True once the user asked the job to stop (a signal, the window's close box).
  virtual bool stopRequested() = 0;
};

// The real thing: children started and files renamed and deleted through the platform layer.
SystemServices& realSystemServices();

}  // namespace media
