#include <windows.h>
#include <bcrypt.h>

#include "second_factor/hmac_sha1.h"

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// Closes the algorithm provider and the hash object when they leave scope.
struct HmacHandles {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~HmacHandles() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

}  // namespace

int HmacSha1(const std::string& key, const std::string& message, Sha1Mac& mac) {
  HmacHandles handles;
  // The key and message buffers are only read; CNG's prototypes lack const.
  auto* keyBytes = reinterpret_cast<PUCHAR>(const_cast<char*>(key.data()));
  auto* messageBytes = reinterpret_cast<PUCHAR>(const_cast<char*>(message.data()));
  bool ok = Succeeded(BCryptOpenAlgorithmProvider(&handles.algorithm, BCRYPT_SHA1_ALGORITHM, nullptr,
                                                  BCRYPT_ALG_HANDLE_HMAC_FLAG)) &&
            Succeeded(BCryptCreateHash(handles.algorithm, &handles.hash, nullptr, 0, keyBytes,
                                       static_cast<ULONG>(key.size()), 0)) &&
            Succeeded(BCryptHashData(handles.hash, messageBytes, static_cast<ULONG>(message.size()), 0)) &&
            Succeeded(BCryptFinishHash(handles.hash, mac.data(), static_cast<ULONG>(mac.size()), 0));
  return ok ? 0 : 1;
}
