// Call contract of the USB e-key library "UsbClient". The component links it
// by name at load time; any library with these three functions can stand in.
#pragma once

#ifdef _WIN32
#define USBCLIENT_API __stdcall
#else
#define USBCLIENT_API
#endif

// Size of the buffer GetPwdAuto writes the password into, its NUL included.
constexpr int kUsbPasswordBufferSize = 20;

extern "C" {
// Prepares the library; called once when the component is loaded.
int USBCLIENT_API InitSDK(void);
// Writes the token's password for challenge (NUL-terminated, at most 19 bytes)
// into the 20-byte password buffer; returns 0, or non-zero when it cannot.
int USBCLIENT_API GetPwdAuto(char* password, char* challenge);
// Releases the library; called once when the component is unloaded.
int USBCLIENT_API UnInitialize(void);
}
