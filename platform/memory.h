// How much memory the machine has.
#pragma once

#include <cstdint>

namespace platform {

// Bytes of physical memory, or 0 when the system does not tell.
std::uint64_t physicalMemoryBytes();

}  // namespace platform
