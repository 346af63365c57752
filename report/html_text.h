// Text made safe to stand in an HTML page, in an element or a quoted attribute.
#pragma once

#include <string>
#include <string_view>

namespace report {

// Escapes & < > " and ', and replaces what is not UTF-8 (a stray byte, a cut or overlong
// sequence, a surrogate) and control characters other than tab and line ends with U+FFFD, one
// for each maximal invalid part, as a browser decoding the bytes would.
std::string escapeHtml(std::string_view text);

}  // namespace report
