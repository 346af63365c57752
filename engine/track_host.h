// What the engine asks of whoever runs it: the two per-track options, the file gauge and
// whether to give the track up. The window, the headless command and the tests each provide one.
#pragma once

#include <cstdint>

namespace engine {

// The bytes of frames the passes walk between two questions of TrackHost::stopAsked: some
// milliseconds of work, a multiple of the split's block.
constexpr std::uint32_t kStopCheckBytes = std::uint32_t{1} << 20;

class TrackHost {
 public:
  virtual ~TrackHost() = default;

  // State of "The tracks have no bassline"; read once at the start of each track.
  virtual bool noBasslineTicked() = 0;
  // State of "Ignore short clicks (vinyle records)"; read once at the start of each track.
  virtual bool ignoreClicksTicked() = 0;

  // A gauge step: sets the file gauge to percent (0 to 100), shows it at once, then
  // pauses for pauseMs milliseconds so the user can see it.
  virtual void fileGaugeStep(int percent, int pauseMs) = 0;

  // Whether the track is to be given up (the job was asked to stop); asked every
  // kStopCheckBytes of frames while the passes run. Once it answers true it must keep doing so
  // for the track. By default the track is never given up.
  virtual bool stopAsked() { return false; }
};

// Calls walk(partBegin, partEnd) over [begin, end) in parts of kStopCheckBytes, asking
// host.stopAsked() before each; false when a stop ended the walk.
template <typename Walk>
bool walkUnlessStopped(TrackHost& host, std::uint32_t begin, std::uint32_t end, Walk&& walk) {
  for (std::uint32_t part = begin; part < end;) {
    if (host.stopAsked()) return false;
    const std::uint32_t partEnd = end - part > kStopCheckBytes ? part + kStopCheckBytes : end;
    walk(part, partEnd);
    part = partEnd;
  }
  return true;
}

}  // namespace engine
