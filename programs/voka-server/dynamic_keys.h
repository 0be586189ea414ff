// Dynamic keys as cookies: a key is made from the time it was issued and the
// address it was sent to, under a server secret, and checked by making it
// again; issuing one keeps nothing. Its 32 hex digits hold (after the fixed
// version and variant bits of a random GUID's text form):
//   42 bits  issue time, milliseconds since 1970 (UTC)
//   16 bits  serial, so that keys issued to one address at once differ
//   16 bits  MAC of all the rest: a key this server made, unaltered
//   48 bits  MAC of time, serial and address: the address it was sent to
// Each MAC is HMAC-SHA256 under the half hour's secret, which is the server
// secret's HMAC of the half hour's number: the secret rotates every key
// lifetime, and a key is checked under its own half hour's secret, so the
// previous one is accepted until the keys issued under it expire.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

using KeySecret = std::array<uint8_t, 32>;
using KeyClock = std::chrono::system_clock;
using KeyTime = std::chrono::time_point<KeyClock, std::chrono::milliseconds>;

enum class KeyCheck {
  kValid,
  kForeign,  // made here for another address
  kBad,      // not made here, altered, expired, or from too far ahead
};

class CDynamicKeys {
 public:
  explicit CDynamicKeys(const KeySecret& secret);

  std::string Issue(const std::string& address, KeyTime now);
  KeyCheck Check(const std::string& guid, const std::string& address, KeyTime now) const;

 private:
  // The secret of the key lifetime that issuedMs falls in.
  KeySecret PeriodSecret(uint64_t issuedMs) const;
  static uint64_t BoundTo(const KeySecret& periodSecret, uint64_t issuedMs, uint64_t serial,
                          const std::string& address);
  static uint64_t IssuedHere(const KeySecret& periodSecret, uint64_t issuedMs, uint64_t serial, uint64_t boundTo);

  KeySecret m_secret;
  uint16_t m_serial = 0;
};
