#include "voka/client_authen.h"

#include <cstring>

#include "engine/host_resolve.h"
#include "protocol/engine_messages.h"
#include "voka/codec/ascii_case.h"
#include "voka/protocol/field_names.h"
#include "voka/transport/http_get.h"
#include "voka/transport/socket_shim.h"

namespace {

constexpr char kUdpServerName[] = "TEVUDPServer";

// A control byte has no place in a host, a port or a URL; a CR LF in the HTTP
// base would add a header line to every request.
bool HoldsControlByte(const char* text) {
  for (const char* at = text; at != nullptr && *at != '\0'; ++at) {
    if (static_cast<unsigned char>(*at) < 0x20 || *at == 0x7F) return true;
  }
  return false;
}

}  // namespace

CClientAuthen::CClientAuthen()
    : m_nUdpTimeOut(kDefaultUdpTimeOutSeconds),
      m_bUseUdp(true),
      m_strUdpServerName(kUdpServerName),
      m_pTrace(nullptr),
      m_bSocketLibraryStarted(StartSocketLibrary()),
      m_eLastStage(RequestTransport::kUdp) {}

// Each engine holds one start of the socket library (WinSock 2.2) for its life.
CClientAuthen::~CClientAuthen() {
  if (m_bSocketLibraryStarted) {
    StopSocketLibrary();
  }
}

int CClientAuthen::Initialize(const char* udpServer, const char* tcpServer) {
  // Refused as an endpoint too long for any request is: the endpoints stay.
  if (HoldsControlByte(udpServer) || HoldsControlByte(tcpServer)) return RefuseRequestTooLong();
  try {
    m_strTcpServer = tcpServer != nullptr ? tcpServer : "";
    m_mapResult.clear();
    BeginRequest();

    const std::string server = udpServer != nullptr ? udpServer : "";
    const size_t colon = server.find(':');
    m_strUdpHost = server.substr(0, colon);
    m_strUdpPort = colon == std::string::npos ? std::string() : server.substr(colon + 1);

    // A name that does not resolve stays as it was given.
    std::string dotted;
    if (ResolveFirstIpv4(m_strUdpHost, dotted)) {
      m_strUdpHost = dotted;
    }
  } catch (...) {
    // Out of memory: the endpoints stay as far as they were set.
  }
  return 0;
}

int CClientAuthen::GetValue(const char* key, char* value, size_t capacity) {
  const char* cause = LookUpCause(key);
  const std::string causeName = cause != nullptr ? cause : "";
  const std::string* text = cause != nullptr ? &causeName : LookUpField(key);
  if (text == nullptr) {
    return kValueAbsent;
  }
  if (value == nullptr || text->size() >= capacity) {
    return kValueTooLong;
  }
  std::memcpy(value, text->c_str(), text->size() + 1);
  return kValueFound;
}

int CClientAuthen::GetValue(const char* key, std::string& value) {
  const char* cause = LookUpCause(key);
  const std::string* text = cause != nullptr ? nullptr : LookUpField(key);
  if (text == nullptr && cause == nullptr) {
    return kValueAbsent;
  }
  try {
    value = cause != nullptr ? cause : *text;
    return kValueFound;
  } catch (...) {
    return kValueAbsent;
  }
}

const std::string* CClientAuthen::LookUpField(const char* key) const {
  if (key == nullptr) {
    return nullptr;
  }
  try {
    const auto found = m_mapResult.find(UpperCaseAscii(key));
    return found == m_mapResult.end() ? nullptr : &found->second;
  } catch (...) {
    return nullptr;
  }
}

const char* CClientAuthen::LookUpCause(const char* key) const {
  return key != nullptr && std::strcmp(key, kLastCauseKey) == 0 ? FailureCauseName(LastCause()) : nullptr;
}

std::string CClientAuthen::FindValue(const char* key) const {
  const auto found = m_mapResult.find(key != nullptr ? key : "");
  return found == m_mapResult.end() ? std::string() : found->second;
}

int CClientAuthen::RefuseTextNotInCodePage() {
  BeginRequest();
  NoteCause(m_eLastStage, VOKA_CAUSE_TEXT_REFUSED);
  return Refuse(kTextNotInCodePageMessage);
}

int CClientAuthen::RefuseRequestTooLong() {
  BeginRequest();
  NoteCause(m_eLastStage, VOKA_CAUSE_REQUEST_TOO_LONG);
  return Refuse(kNetworkErrorMessage);
}

int CClientAuthen::Refuse(const char* message) {
  try {
    ForgetLastVerdict();
    SetResult(kFieldDescMsg, message);
  } catch (...) {
    // Out of memory: the code alone reports the failure.
  }
  return AUTHEN_E_FAIL;
}

void CClientAuthen::SetUdpTimeOut(int seconds) { m_nUdpTimeOut = seconds; }

bool CClientAuthen::SetCaBundle(const std::string& file) {
  if (!kHttpTakesCaBundle) return false;
  m_strCaBundle = file;
  return true;
}

void CClientAuthen::SetTrace(ExchangeTrace* trace) { m_pTrace = trace; }

void CClientAuthen::SetResult(const std::string& name, const std::string& value) { m_mapResult[name] = value; }
