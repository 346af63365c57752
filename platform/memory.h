// How much memory the machine has, and the large blocks that hold a track's samples.
#pragma once

#include <cstdint>

namespace platform {

// Bytes of physical memory, or 0 when the system does not tell.
std::uint64_t physicalMemoryBytes();

// A block of at least bytes bytes, aligned to 2 MiB and backed by huge pages where the system
// grants them, so that touching a track's samples for the first time costs one fault for
// every 2 MiB rather than for every 4 KiB. Its bytes are zero. Null when there is no such
// memory to be had.
void* obtainLargeBlock(std::uint64_t bytes);

// Gives back a block of obtainLargeBlock, named with the same size.
void releaseLargeBlock(void* block, std::uint64_t bytes);

}  // namespace platform
