#include "engine/sample_buffer.h"

#include <cstdlib>

namespace engine {

bool obtainSampleBuffer(SampleBuffer& buffer, std::uint64_t requiredBytes) {
  if (buffer.capacity == 0 || requiredBytes > buffer.capacity) {
    // The old contents need not survive, so free first rather than realloc: no copy, and the
    // peak is one block.
    std::free(buffer.bytes);
    buffer.bytes = nullptr;
    buffer.capacity = 0;
    if (requiredBytes > SIZE_MAX) return false;
    // At least one byte, so that an empty track still has a block to name.
    void* block = std::malloc(requiredBytes == 0 ? 1 : static_cast<std::size_t>(requiredBytes));
    if (!block) return false;
    buffer.bytes = static_cast<std::uint8_t*>(block);
  }
  buffer.capacity = requiredBytes;
  return true;
}

void releaseSampleBuffer(SampleBuffer& buffer) {
  std::free(buffer.bytes);
  buffer.bytes = nullptr;
  buffer.capacity = 0;
}

}  // namespace engine
