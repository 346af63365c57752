#include "report/number_text.h"

#include <charconv>

namespace report {

std::string fixedText(double value, int decimals) {
  // Enough for any double in fixed notation (up to 309 integer digits) with a few decimals.
  char text[400];
  const auto written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (written.ec != std::errc()) return "";
  std::string result(text, written.ptr);
  if (result.front() == '-' && result.find_first_not_of("-0.") == std::string::npos) {
    result.erase(0, 1);
  }
  return result;
}

std::string signedText(double value, int decimals) {
  const std::string text = fixedText(value, decimals);
  if (text.empty() || text.front() == '-' || text.find_first_not_of("0.") == std::string::npos) {
    return text;
  }
  return "+" + text;
}

}  // namespace report
