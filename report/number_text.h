// Numbers as the report's texts show them: a fixed count of decimals, with a point whatever
// the locale (the window program may set one that writes a comma).
#pragma once

#include <string>

namespace report {

// value must be finite. A value that rounds to zero is written without a minus sign.
std::string fixedText(double value, int decimals);
// As fixedText, with a plus sign before a value that does not round to zero or below: "+1.5".
std::string signedText(double value, int decimals);

}  // namespace report
