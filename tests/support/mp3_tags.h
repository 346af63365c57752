// The tags an MP3 file may carry around its frames, for tests and fuzz seeds: an ID3v2 tag of
// a given size before the frames and an APE tag after them.
#pragma once

#include <cstddef>
#include <string>

namespace testing_support {

// An ID3v2.4 tag whose body is bodyBytes zero bytes, with its footer when asked for. The size
// is syncsafe: 7 bits in each of four bytes.
inline std::string id3v2Tag(std::size_t bodyBytes, bool footer) {
  std::string size;
  for (int shift = 21; shift >= 0; shift -= 7)
    size += static_cast<char>((bodyBytes >> shift) & 0x7F);
  const std::string flags(1, footer ? '\x10' : '\0');
  const std::string version("\x04\x00", 2);
  return "ID3" + version + flags + size + std::string(bodyBytes, '\0') +
         (footer ? "3DI" + version + flags + size : "");
}

// An APE tag of no items, with its header and footer.
inline std::string apeTag() {
  const std::string size("\x20\0\0\0", 4), none(4, '\0');
  const std::string version("\xD0\x07\0\0", 4);
  return "APETAGEX" + version + size + none + std::string("\0\0\0\xA0", 4) + std::string(8, '\0') +
         "APETAGEX" + version + size + none + std::string("\0\0\0\x80", 4) + std::string(8, '\0');
}

}  // namespace testing_support
