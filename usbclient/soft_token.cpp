// Stand-in for the USB e-key library, for development: a software OATH
// challenge-response token whose secret comes, in hex, from the environment
// variable VOKA_SOFT_TOKEN_SECRET. Unset or empty means no token is plugged
// in, and GetPwdAuto fails.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "voka/second_factor/ocra_response.h"
#ifndef _WIN32
// The library's three functions are all it exports (the rest is hidden).
#pragma GCC visibility push(default)
#endif
#include "usbclient/usb_client.h"
#ifndef _WIN32
#pragma GCC visibility pop
#endif

namespace {

constexpr char kSecretVariable[] = "VOKA_SOFT_TOKEN_SECRET";

// Number of InitSDK calls not yet matched by UnInitialize: a token that was
// never initialised answers nothing, as the real device would.
std::atomic<int> g_initCount{0};

}  // namespace

extern "C" {

int USBCLIENT_API InitSDK(void) {
  ++g_initCount;
  return 0;
}

int USBCLIENT_API GetPwdAuto(char* password, char* challenge) {
  if (password == nullptr || challenge == nullptr || g_initCount.load() <= 0) {
    return 1;
  }
  const char* secret = std::getenv(kSecretVariable);
  if (secret == nullptr || secret[0] == '\0') {
    return 1;
  }
  try {
    std::string response;
    if (OcraResponse(secret, challenge, response) != 0 || response.size() >= size_t{kUsbPasswordBufferSize}) {
      return 1;
    }
    std::memcpy(password, response.c_str(), response.size() + 1);
    return 0;
  } catch (...) {
    return 1;
  }
}

int USBCLIENT_API UnInitialize(void) {
  if (g_initCount.load() > 0) {
    --g_initCount;
  }
  return 0;
}

}  // extern "C"
