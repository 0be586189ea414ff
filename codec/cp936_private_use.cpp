#include "codec/cp936_private_use.h"

namespace {

// GBK's trail bytes: 0x40-0x7E and 0x80-0xFE.
bool IsTrail(unsigned trail) { return trail >= 0x40 && trail <= 0xFE && trail != 0x7F; }

// Position of a trail byte among the 96 trail bytes 0x40-0xA0.
unsigned LowTrailIndex(unsigned trail) { return trail < 0x7F ? trail - 0x40 : trail - 0x41; }

// The scattered undefined codes, numbered from U+E766 in code order.
struct CodeRange {
  uint16_t first, last;
};
constexpr CodeRange kScattered[] = {
    {0xA2AB, 0xA2B0}, {0xA2E3, 0xA2E4}, {0xA2EF, 0xA2F0}, {0xA2FD, 0xA2FE}, {0xA4F4, 0xA4FE}, {0xA5F7, 0xA5FE},
    {0xA6B9, 0xA6C0}, {0xA6D9, 0xA6DF}, {0xA6EC, 0xA6ED}, {0xA6F3, 0xA6F3}, {0xA6F6, 0xA6FE}, {0xA7C2, 0xA7D0},
    {0xA7F2, 0xA7FE}, {0xA896, 0xA8A0}, {0xA8BC, 0xA8BC}, {0xA8BF, 0xA8BF}, {0xA8C1, 0xA8C4}, {0xA8EA, 0xA8FE},
    {0xA958, 0xA958}, {0xA95B, 0xA95B}, {0xA95D, 0xA95F}, {0xA989, 0xA995}, {0xA997, 0xA9A3}, {0xA9F0, 0xA9FE},
    {0xD7FA, 0xD7FE}, {0xFE50, 0xFE7E}, {0xFE80, 0xFEA0}};

}  // namespace

bool Cp936PrivateUse(unsigned char lead, unsigned char trail, uint16_t& unit) {
  if (lead < 0x81 || lead > 0xFE || !IsTrail(trail)) return false;
  // The two user-defined blocks of 94 x 94 codes, then the lower halves of
  // rows A1-A7 (96 trail bytes each).
  if (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1) {
    unit = static_cast<uint16_t>(0xE000 + (lead - 0xAA) * 94 + (trail - 0xA1));
    return true;
  }
  if (lead >= 0xF8 && trail >= 0xA1) {
    unit = static_cast<uint16_t>(0xE234 + (lead - 0xF8) * 94 + (trail - 0xA1));
    return true;
  }
  if (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0) {
    unit = static_cast<uint16_t>(0xE4C6 + (lead - 0xA1) * 96 + LowTrailIndex(trail));
    return true;
  }
  const unsigned code = unsigned(lead) << 8 | trail;
  unsigned next = 0xE766;
  for (const CodeRange& range : kScattered) {
    if (code >= range.first && code <= range.last) {
      unit = static_cast<uint16_t>(next + (code - range.first));
      return true;
    }
    next += range.last - range.first + 1u;
  }
  return false;
}
