// A short sine tone through the default sound output.
#pragma once

namespace platform {

// Plays a tone of frequencyHz for durationMs and returns once it has sounded. Returns false,
// at once, when no sound device can be opened; the caller then falls back to its own bell.
bool beep(int frequencyHz, int durationMs);

}  // namespace platform
