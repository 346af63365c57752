// What the engine asks of whoever runs it: the two per-track options and the file gauge.
// The window, the headless command and the tests each provide one.
#pragma once

namespace engine {

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
};

}  // namespace engine
