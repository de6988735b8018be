#include "core/text_format.h"

#include <cstdarg>
#include <cstdio>

std::string StringPrintf(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (needed < 0) {
    va_end(again);
    return text;
  }
  if (static_cast<size_t>(needed) < sizeof small) {
    text.assign(small, static_cast<size_t>(needed));
  } else {
    text.resize(static_cast<size_t>(needed));
    std::vsnprintf(text.data(), text.size() + 1, format, again);
  }
  va_end(again);
  return text;
}
