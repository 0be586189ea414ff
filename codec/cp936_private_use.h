#pragma once
// The two-byte codes of code page 936 that GBK leaves undefined. Windows
// gives each of them a private-use character; iconv refuses them.

#include <cstdint>

// The private-use code unit Windows gives lead and trail in code page 936;
// false when the pair is no such code.
bool Cp936PrivateUse(unsigned char lead, unsigned char trail, uint16_t& unit);
