#include "voka/codec/machine_identity.h"

#include <cstring>
#include <mutex>
#include <string>

#include "codec/machine_identity_lookup.h"
#include "voka/limits.h"

namespace {

constexpr size_t kMacTextSize = 18;  // 17 characters and the NUL
constexpr size_t kIpTextSize = 16;   // 15 characters and the NUL

std::mutex g_identityMutex;  // guards the caches and the look-ups' own state
std::string g_strMacAddress;
std::string g_strClientIp;

// Copies the cached text, or looks it up and caches it when found.
void CopyIdentity(char* buffer, size_t capacity, std::string& cache, std::string (*lookUp)()) {
  if (!buffer) return;
  std::lock_guard<std::mutex> lock(g_identityMutex);
  if (cache.empty()) cache = lookUp();
  const size_t length = cache.size() < capacity ? cache.size() : capacity - 1;
  std::memcpy(buffer, cache.data(), length);
  buffer[length] = '\0';
}

}  // namespace

void GetMacAddress(char* buffer) { CopyIdentity(buffer, kMacTextSize, g_strMacAddress, LookUpMacAddress); }

void GetClientIp(char* buffer) { CopyIdentity(buffer, kIpTextSize, g_strClientIp, LookUpClientIp); }

MachineIdentity ReadMachineIdentity() {
  char ip[kIdentityBufferSize] = {};
  char mac[kIdentityBufferSize] = {};
  GetClientIp(ip);
  GetMacAddress(mac);
  return {ip, mac};
}
