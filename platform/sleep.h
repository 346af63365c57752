// Pausing the calling thread.
#pragma once

namespace platform {

// Blocks the calling thread for at least milliseconds; returns at once for 0 or less.
void sleepMs(int milliseconds);

}  // namespace platform
