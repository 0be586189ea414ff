// Decimal integers in command-line options (ports, time-outs, counts).
#pragma once

#include <string>

// True when text is a whole decimal integer in [low, high]; value holds it.
bool ParseInteger(const std::string& text, long low, long high, long& value);
