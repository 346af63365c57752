#include "report/html_text.h"

namespace report {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void appendAscii(std::string& out, char c) {
  switch (c) {
    case '&':
      out += "&amp;";
      return;
    case '<':
      out += "&lt;";
      return;
    case '>':
      out += "&gt;";
      return;
    case '"':
      out += "&quot;";
      return;
    case '\'':
      out += "&#39;";
      return;
    case '\t':
    case '\n':
    case '\r':
      out += c;
      return;
  }
  if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
    out += kReplacement;
  } else {
    out += c;
  }
}

}  // namespace

std::string escapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      appendAscii(out, text[i]);
      ++i;
      continue;
    }
    // The length of the sequence and the range of its second byte: narrower after E0, ED,
    // F0 and F4, which is what rules out overlong forms, surrogates and code points past
    // U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    std::size_t valid = length == 0 ? 0 : 1;
    while (valid > 0 && valid < length && i + valid < text.size()) {
      const unsigned char next = static_cast<unsigned char>(text[i + valid]);
      if (next < (valid == 1 ? low : 0x80) || next > (valid == 1 ? high : 0xBF)) break;
      ++valid;
    }
    if (length > 0 && valid == length) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += kReplacement;
      i += valid == 0 ? 1 : valid;
    }
  }
  return out;
}

}  // namespace report
