#include "media/system_services.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "media/converter_commands.h"
#include "platform/mp3_encoding.h"
#include "platform/signals.h"

namespace media {

EncodingOutcome SystemServices::encodeMp3(const Mp3Encoding& encoding,
                                          const ProgressHandler& onProgress) {
  const platform::ChildOutcome outcome = runConverter(
      mp3Arguments(encoding), [](const char*, std::size_t) { return true; }, onProgress);
  if (outcome.interrupted) return EncodingOutcome::Stopped;
  return platform::childSucceeded(outcome) ? EncodingOutcome::Written : EncodingOutcome::Failed;
}

bool SystemServices::decodeMp3(const std::string& mp3Path,
                               const platform::StereoFramesHandler& onFrames) {
  constexpr std::size_t kFrameBytes = 2 * sizeof(float);
  // The decoder's bytes from the start of a frame: a frame cut between two reads of the pipe
  // waits at the front for its other bytes.
  std::vector<float> samples;
  std::size_t heldBytes = 0;
  const platform::ChildOutcome decoding =
      runChildReadingOutput(mp3DecodingCommand(mp3Path), [&](const char* bytes, std::size_t count) {
        const std::size_t total = heldBytes + count;
        samples.resize((total + sizeof(float) - 1) / sizeof(float));
        auto* storage = reinterpret_cast<char*>(samples.data());
        std::memcpy(storage + heldBytes, bytes, count);
        const std::size_t frames = total / kFrameBytes;
        if (frames > 0) onFrames(samples.data(), frames);
        heldBytes = total - frames * kFrameBytes;
        std::memmove(storage, storage + frames * kFrameBytes, heldBytes);
        return true;
      });
  return platform::childSucceeded(decoding);
}

namespace {

class PlatformServices final : public SystemServices {
 public:
  platform::ChildOutcome runChild(const std::vector<std::string>& arguments) override {
    return platform::runChildAndWait(arguments);
  }
  platform::ChildOutcome runChildReadingOutput(const std::vector<std::string>& arguments,
                                               const platform::OutputHandler& onOutput) override {
    return platform::runChildReadingOutput(arguments, onOutput);
  }
  platform::ChildOutcome runChildReadingErrors(const std::vector<std::string>& arguments,
                                               const platform::OutputHandler& onErrors) override {
    return platform::runChildReadingErrors(arguments, onErrors);
  }
  platform::ChildOutcome runConverter(const std::vector<std::string>& arguments,
                                      const platform::OutputHandler& onErrors,
                                      const ProgressHandler& onProgress) override {
    ProgressReader report(onProgress);
    return platform::runChildReadingOutputAndErrors(
        withProgressReport(arguments),
        [&report](const char* bytes, std::size_t count) {
          report.take(bytes, count);
          return true;
        },
        onErrors);
  }
  // In this process when the converter's libraries are there, which spares the cost of starting
  // the converter (about a fifth of a CPU-second) on every MP3.
  EncodingOutcome encodeMp3(const Mp3Encoding& encoding,
                            const ProgressHandler& onProgress) override {
    switch (platform::encodeMp3InProcess(mp3EncoderSettings(encoding), onProgress)) {
      case platform::InProcessEncoding::Written:
        return EncodingOutcome::Written;
      case platform::InProcessEncoding::Failed:
        return EncodingOutcome::Failed;
      case platform::InProcessEncoding::Stopped:
        return EncodingOutcome::Stopped;
      case platform::InProcessEncoding::Unavailable:
        break;
    }
    return SystemServices::encodeMp3(encoding, onProgress);
  }
  // In this process when the converter's libraries are there, which spares the cost of starting
  // the converter (about a tenth of a CPU-second) on every MP3.
  bool decodeMp3(const std::string& mp3Path,
                 const platform::StereoFramesHandler& onFrames) override {
    const platform::Mp3DecodingOutcome outcome = platform::decodeMp3InProcess(mp3Path, onFrames);
    switch (outcome.kind) {
      case platform::InProcessDecoding::Whole:
        return true;
      case platform::InProcessDecoding::Failed:
        return false;
      case platform::InProcessDecoding::Unavailable:
      case platform::InProcessDecoding::Changed:
        break;
    }
    // The command's frames after those already given.
    std::uint64_t framesToSkip = outcome.framesGiven;
    return SystemServices::decodeMp3(mp3Path, [&](const float* frames, std::size_t count) {
      const auto skipped = static_cast<std::size_t>(std::min<std::uint64_t>(framesToSkip, count));
      framesToSkip -= skipped;
      if (skipped < count) onFrames(frames + 2 * skipped, count - skipped);
    });
  }
  platform::DeleteOutcome deleteFile(const std::string& path) override {
    return platform::deleteFile(path);
  }
  bool stopRequested() override { return platform::stopRequested(); }
};

}  // namespace

SystemServices& realSystemServices() {
  static PlatformServices services;
  return services;
}

}  // namespace media
