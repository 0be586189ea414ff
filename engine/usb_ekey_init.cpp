#include "engine/usb_ekey_init.h"

#include <cstring>

namespace {

constexpr size_t kChallengeBufferSize = kMaxEkeyChallengeLength + 1;

}  // namespace

CUsbEkeyInit::CUsbEkeyInit() noexcept { InitSDK(); }

CUsbEkeyInit::~CUsbEkeyInit() { UnInitialize(); }

// Lives in this file so that whoever asks for a password also links the
// object that initialises the library.
CUsbEkeyInit g_UsbEkeyInit;

bool RequestEkeyPassword(const std::string& challenge, std::string& password, EkeyPasswordFunction getPassword) {
  if (challenge.size() > kMaxEkeyChallengeLength) {
    return false;
  }
  char challengeBuffer[kChallengeBufferSize] = {};
  std::memcpy(challengeBuffer, challenge.data(), challenge.size());
  char passwordBuffer[kUsbPasswordBufferSize] = {};
  if (getPassword(passwordBuffer, challengeBuffer) != 0) {
    return false;
  }
  // A password that fills the buffer without a NUL cannot be trusted whole.
  if (std::memchr(passwordBuffer, '\0', sizeof(passwordBuffer)) == nullptr) {
    return false;
  }
  password = passwordBuffer;
  return true;
}
