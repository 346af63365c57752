// Pausing the calling thread.
#pragma once

namespace platform {

void sleepMs(int milliseconds);

}  // namespace platform
