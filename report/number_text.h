// Numbers as the report's texts show them: a fixed count of decimals, with a point whatever
// the locale (the window program may set one that writes a comma).
#pragma once

#include <string>

namespace report {

// value must be finite. A value that rounds to zero is written without a minus sign.
std::string fixedText(double value, int decimals);

}  // namespace report
