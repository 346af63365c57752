// Regular expressions (ECMAScript) over test output, built once here: the library's templates
// take seconds to build in every file that would use them itself.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace testing_support {

// The first match of pattern in text and its groups, the whole match first; empty when none.
std::vector<std::string> firstMatch(const std::string& text, const std::string& pattern);
bool holdsPattern(const std::string& text, const std::string& pattern);
// Whether the whole of text is a match of pattern.
bool isPattern(const std::string& text, const std::string& pattern);
std::size_t matchCount(const std::string& text, const std::string& pattern);
// Text with every match of pattern replaced by format ("$1" names a group).
std::string replacedPattern(const std::string& text, const std::string& pattern,
                            const std::string& format);

}  // namespace testing_support
