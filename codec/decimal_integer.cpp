#include "voka/codec/decimal_integer.h"

#include <cerrno>
#include <cstdlib>

bool ParseInteger(const std::string& text, long low, long high, long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}
