#include "tests/support/text_patterns.h"

#include <iterator>
#include <regex>

namespace testing_support {

std::vector<std::string> firstMatch(const std::string& text, const std::string& pattern) {
  std::smatch found;
  if (!std::regex_search(text, found, std::regex(pattern))) return {};
  return std::vector<std::string>(found.begin(), found.end());
}

bool holdsPattern(const std::string& text, const std::string& pattern) {
  return std::regex_search(text, std::regex(pattern));
}

bool isPattern(const std::string& text, const std::string& pattern) {
  return std::regex_match(text, std::regex(pattern));
}

std::size_t matchCount(const std::string& text, const std::string& pattern) {
  const std::regex compiled(pattern);
  return static_cast<std::size_t>(std::distance(
      std::sregex_iterator(text.begin(), text.end(), compiled), std::sregex_iterator()));
}

std::string replacedPattern(const std::string& text, const std::string& pattern,
                            const std::string& format) {
  return std::regex_replace(text, std::regex(pattern), format);
}

}  // namespace testing_support
