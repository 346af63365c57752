// The one growable block that holds a track's samples and its two band planes. It lives from
// the first track until the program quits and is reused, and grown when needed, across tracks.
#pragma once

#include <cstdint>

namespace engine {

// Where blocks come from when not from the heap: the program may hand the engine a source of
// large blocks that are cheaper to touch (the engine itself makes no system call).
struct BlockSource {
  // A block of at least bytes bytes, or null.
  void* (*obtain)(std::uint64_t bytes);
  // Gives back a block of obtain, named with the size it was obtained with.
  void (*release)(void* block, std::uint64_t bytes);
};

struct SampleBuffer {
  std::uint8_t* bytes = nullptr;
  // The size recorded for the block at the last successful request; 0 while there is none.
  std::uint64_t capacity = 0;
  // The size the block was obtained with, which its release names.
  std::uint64_t blockBytes = 0;
  // Null: the heap.
  const BlockSource* source = nullptr;
};

// Bytes a track needs: the larger of its data length and its target length, then the low and
// high band planes of targetLength bytes each. Saturates instead of wrapping.
std::uint64_t requiredSampleSpace(std::uint32_t dataLength, std::uint64_t targetLength);

// Makes the block hold at least requiredBytes. Allocates when there is none, grows it (old
// contents lost) when requiredBytes exceeds the recorded capacity, else reuses it unchanged.
// On success the recorded capacity becomes requiredBytes, even when the block is larger.
// On failure returns false and leaves no block with a capacity of 0.
bool obtainSampleBuffer(SampleBuffer& buffer, std::uint64_t requiredBytes);

// Frees the block, if any; the capacity returns to 0.
void releaseSampleBuffer(SampleBuffer& buffer);

}  // namespace engine
