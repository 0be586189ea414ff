#include "transport/http_facts_wininet.h"

#include <cstdio>
#include <string>

namespace {

// WinINet's name text: the values of the name's parts, one a line.
std::string NameText(const char* lines) {
  std::string text;
  for (const char* at = lines; *at != '\0'; ++at) {
    if (*at == '\r') continue;
    text += *at == '\n' ? std::string(", ") : std::string(1, *at);
  }
  return text;
}

std::string TimeText(const FILETIME& time) {
  SYSTEMTIME parts;
  if (!FileTimeToSystemTime(&time, &parts)) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", parts.wYear, parts.wMonth, parts.wDay,
                parts.wHour, parts.wMinute, parts.wSecond);
  return text;
}

}  // namespace

void TellWinInetFailure(DWORD error, HttpFacts& facts) {
  switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      facts.failure = kHttpNameNotResolved;
      facts.cause = VOKA_CAUSE_NAME_NOT_RESOLVED;
      return;
    case ERROR_INTERNET_CANNOT_CONNECT:
      facts.failure = kHttpNoConnection;
      facts.cause = VOKA_CAUSE_NO_CONNECTION;
      return;
    case ERROR_INTERNET_TIMEOUT:
      facts.failure = kHttpTimedOut;
      facts.cause = VOKA_CAUSE_NO_ANSWER;
      return;
    case ERROR_INTERNET_INVALID_CA: facts.certificateProblem = kCertificateUntrusted; break;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID: facts.certificateProblem = kCertificateExpired; break;
    case ERROR_INTERNET_SEC_CERT_CN_INVALID: facts.certificateProblem = kCertificateForAnotherHost; break;
    // Wine's WinINet also answers a certificate from an unknown CA so.
    case ERROR_INTERNET_SEC_CERT_REV_FAILED: facts.certificateProblem = kCertificateRevocationUnknown; break;
    default: break;
  }
  if (!facts.certificateProblem.empty()) {
    facts.failure = "the certificate was refused";
    facts.cause = CauseOfCertificateProblem(facts.certificateProblem.c_str());
    return;
  }
  facts.cause = error == ERROR_NOT_ENOUGH_MEMORY ? VOKA_CAUSE_OUT_OF_MEMORY : VOKA_CAUSE_HTTP_FAILED;
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     GetModuleHandleA("wininet.dll"), error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  facts.failure = "WinINet error " + std::to_string(error);
  if (length > 0 && text != nullptr) {
    std::string words(text, length);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.')) words.pop_back();
    facts.failure += ": " + words;
  }
  if (text != nullptr) LocalFree(text);
}

void TellServerCertificate(HINTERNET request, HttpFacts& facts) {
  INTERNET_CERTIFICATE_INFO info = {};  // ANSI: the build defines no UNICODE
  DWORD size = sizeof(info);
  if (!InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_CERTIFICATE_STRUCT, &info, &size)) return;
  if (info.lpszSubjectInfo != nullptr) facts.certificateSubject = NameText(info.lpszSubjectInfo);
  if (info.lpszIssuerInfo != nullptr) facts.certificateIssuer = NameText(info.lpszIssuerInfo);
  facts.certificateExpiry = TimeText(info.ftExpiry);
  facts.tlsVersion = info.lpszProtocolName != nullptr ? info.lpszProtocolName : "TLS (version not told)";
  // WinINet has one error for both ends of the validity.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  if (facts.certificateProblem == kCertificateExpired && CompareFileTime(&now, &info.ftStart) < 0) {
    facts.certificateProblem = kCertificateNotYetValid;
    facts.cause = VOKA_CAUSE_CERTIFICATE_NOT_YET_VALID;
  }
  for (LPSTR text : {info.lpszSubjectInfo, info.lpszIssuerInfo, info.lpszProtocolName, info.lpszSignatureAlgName,
                     info.lpszEncryptionAlgName}) {
    if (text != nullptr) LocalFree(text);
  }
}
