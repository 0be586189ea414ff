#include <winsock2.h>
#include <windows.h>
#include <nb30.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "codec/machine_identity_lookup.h"

namespace {

constexpr size_t kIpTextSize = 16;  // 15 characters and the NUL
constexpr size_t kWorkBufferSize = 1024;

// The adapter status record and room for 30 names: 600 bytes.
struct ADAPTER_STATUS_BUFFER {
  ADAPTER_STATUS adapt;
  NAME_BUFFER names[30];
};
static_assert(sizeof(ADAPTER_STATUS_BUFFER) == 600, "NetBIOS status buffer is 600 bytes");

// Guarded by the identity lock, under which every look-up runs.
ADAPTER_STATUS_BUFFER g_AdapterStatus;

// Writes the adapter's hardware address into workBuffer; leaves it untouched
// when the adapter does not answer.
void GetAdapterMac(UCHAR lana, char* workBuffer) {
  NCB reset{};
  reset.ncb_command = NCBRESET;
  reset.ncb_lana_num = lana;
  Netbios(&reset);

  NCB status{};
  status.ncb_command = NCBASTAT;
  status.ncb_lana_num = lana;
  std::memcpy(status.ncb_callname, "* ", 2);
  status.ncb_buffer = reinterpret_cast<PUCHAR>(&g_AdapterStatus);
  status.ncb_length = sizeof g_AdapterStatus;
  if (Netbios(&status) != NRC_GOODRET) return;

  const UCHAR* mac = g_AdapterStatus.adapt.adapter_address;
  std::snprintf(workBuffer, kWorkBufferSize, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                mac[5]);
}

}  // namespace

std::string LookUpMacAddress() {
  char workBuffer[kWorkBufferSize] = {};
  LANA_ENUM adapters{};
  NCB enumerate{};
  enumerate.ncb_command = NCBENUM;
  enumerate.ncb_buffer = reinterpret_cast<PUCHAR>(&adapters);
  enumerate.ncb_length = sizeof adapters;
  if (Netbios(&enumerate) == NRC_GOODRET && adapters.length > 0) {
    GetAdapterMac(adapters.lana[0], workBuffer);
  }
  return workBuffer;
}

std::string LookUpClientIp() {
  char workBuffer[kWorkBufferSize] = {};
  WSADATA data;
  const bool started = WSAStartup(MAKEWORD(1, 1), &data) == 0;
  char hostName[kWorkBufferSize] = {};
  if (gethostname(hostName, sizeof hostName - 1) == 0) {
    const hostent* host = gethostbyname(hostName);
    if (host && host->h_addrtype == AF_INET && host->h_addr_list && host->h_addr_list[0]) {
      in_addr address;
      std::memcpy(&address, host->h_addr_list[0], sizeof address);
      const char* dotted = inet_ntoa(address);
      if (dotted) std::snprintf(workBuffer, kIpTextSize, "%s", dotted);
    }
  }
  if (started) WSACleanup();
  return workBuffer;
}
