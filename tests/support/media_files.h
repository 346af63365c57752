// Short test tones made by the converter, in whatever container and sample format a test needs.
#pragma once

#include <string>
#include <vector>

#include "platform/child_process.h"

namespace testing_support {

// Writes a stereo sine of the given length to path; extraArguments go before the output path
// (an encoder, a sample format, "-f mp3" for a name without extension). True on success.
inline bool makeTone(const std::string& path, const std::vector<std::string>& extraArguments = {},
                     double seconds = 0.5, int frequencyHz = 440) {
  const std::string tone =
      "sine=frequency=" + std::to_string(frequencyHz) + ":duration=" + std::to_string(seconds);
  std::vector<std::string> arguments = {"ffmpeg", "-nostdin", "-y",      "-loglevel", "error",
                                        "-f",     "lavfi",    "-i",      tone,        "-ac",
                                        "2",      "-flags",   "bitexact"};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  arguments.push_back(path);
  const platform::ChildOutcome outcome = platform::runChildAndWait(arguments);
  return outcome.started && outcome.exitStatusRead && outcome.exitStatus == 0;
}

}  // namespace testing_support
