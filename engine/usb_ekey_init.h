// Keeps the USB e-key library initialised while the component is loaded.
#pragma once

#include <string>

#include "usbclient/usb_client.h"
#include "voka/limits.h"

class CUsbEkeyInit {
 public:
  CUsbEkeyInit() noexcept;  // InitSDK
  virtual ~CUsbEkeyInit();  // UnInitialize
};

extern CUsbEkeyInit g_UsbEkeyInit;

// The library's password function (GetPwdAuto, or a test's stand-in).
using EkeyPasswordFunction = int(USBCLIENT_API*)(char* password, char* challenge);

// Asks the e-key library for the password of challenge (at most
// kMaxEkeyChallengeLength bytes; a longer one is not passed on). False when
// the library reports a failure or leaves no NUL within its 20-byte
// password buffer.
bool RequestEkeyPassword(const std::string& challenge, std::string& password,
                         EkeyPasswordFunction getPassword = GetPwdAuto);
