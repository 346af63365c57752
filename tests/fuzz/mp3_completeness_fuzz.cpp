// Fuzz target of the MP3 completeness check: the bytes, as a file, are walked from their tags
// through every frame header to the end.
#include <cstdint>

#include "media/mp3_completeness.h"
#include "tests/support/fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The walk and its checks do not depend on the length asked for; 1 frame makes the last
  // comparison count the frames found.
  media::mp3HoldsWholeTrack(testing_support::fuzzInputFile(data, size), 1);
  return 0;
}
