#include "engine/process_log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace engine {

void ProcessLog::print(const char* format, ...) {
  if (!isOn()) return;
  char small[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(length) < sizeof small) {
    write(std::string_view(small, static_cast<size_t>(length)));
  } else {
    // Long paths make long lines; format them again into a buffer of the right size.
    std::vector<char> large(static_cast<size_t>(length) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    write(std::string_view(large.data(), static_cast<size_t>(length)));
  }
  va_end(again);
}

}  // namespace engine
