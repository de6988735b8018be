// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "core/text_format.h"

#include <cstdarg>
#include <cstdio>

std::string StringPrintf(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) return {};
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string text(static_cast<size_t>(needed), '\0');
  va_start(args, format);
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}
