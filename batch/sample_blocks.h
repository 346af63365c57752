// The blocks that hold the samples of the program's tracks: large blocks from the system,
// which the engine touches one huge page at a time instead of one small page at a time.
#pragma once

#include "engine/sample_buffer.h"
#include "platform/memory.h"

namespace batch {

inline constexpr engine::BlockSource kLargeSampleBlocks{platform::obtainLargeBlock,
                                                        platform::releaseLargeBlock};

// Makes buffer draw its blocks from the system from its next block on; a block it holds is
// given back to where it came from first.
inline void drawLargeSampleBlocks(engine::SampleBuffer& buffer) {
  if (buffer.source == &kLargeSampleBlocks) return;
  engine::releaseSampleBuffer(buffer);
  buffer.source = &kLargeSampleBlocks;
}

}  // namespace batch
