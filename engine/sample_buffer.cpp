#include "engine/sample_buffer.h"

#include <cstddef>
#include <cstdlib>
#include <limits>

namespace engine {

std::uint64_t requiredSampleSpace(std::uint32_t dataLength, std::uint64_t targetLength) {
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t loadArea = dataLength < targetLength ? targetLength : dataLength;
  if (targetLength > (kLargest - loadArea) / 2) return kLargest;
  return loadArea + 2 * targetLength;
}

namespace {

void freeBlock(SampleBuffer& buffer) {
  if (buffer.source) {
    if (buffer.bytes) buffer.source->release(buffer.bytes, buffer.blockBytes);
  } else {
    std::free(buffer.bytes);
  }
  buffer.bytes = nullptr;
  buffer.capacity = 0;
  buffer.blockBytes = 0;
}

}  // namespace

bool obtainSampleBuffer(SampleBuffer& buffer, std::uint64_t requiredBytes) {
  if (buffer.capacity == 0 || requiredBytes > buffer.capacity) {
    // The old contents need not survive, so free first rather than realloc: no copy, and the
    // peak is one block.
    freeBlock(buffer);
    // No allocator gives a block this large; asking would only abort a checked build.
    if (requiredBytes > static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
      return false;
    }
    // At least one byte, so that an empty track still has a block to name.
    const std::uint64_t blockBytes = requiredBytes == 0 ? 1 : requiredBytes;
    void* block = buffer.source ? buffer.source->obtain(blockBytes)
                                : std::malloc(static_cast<std::size_t>(blockBytes));
    if (!block) return false;
    buffer.bytes = static_cast<std::uint8_t*>(block);
    buffer.blockBytes = blockBytes;
  }
  buffer.capacity = requiredBytes;
  return true;
}

void releaseSampleBuffer(SampleBuffer& buffer) { freeBlock(buffer); }

}  // namespace engine
