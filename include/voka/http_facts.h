// What an HTTP request of the engine met: status, redirects, TLS and the
// server's certificate, and why it failed, in words. Part of the library's
// public headers: <voka/http_facts.h>.
#pragma once

#include <string>

#include "voka/failure_cause.h"

// Why a request failed, in the words both fetchers use for what they both
// tell apart; anything else in the HTTP library's own words.
constexpr char kHttpNameNotResolved[] = "the server's name does not resolve";
constexpr char kHttpNoConnection[] = "no connection to the server";
constexpr char kHttpTimedOut[] = "no answer in time";
// Why a certificate was not verified.
constexpr char kCertificateExpired[] = "the certificate has expired";
constexpr char kCertificateNotYetValid[] = "the certificate is not valid yet";
constexpr char kCertificateUntrusted[] = "no trusted CA issued the certificate";
constexpr char kCertificateForAnotherHost[] = "the certificate is for another host";
constexpr char kCertificateRevocationUnknown[] = "whether the certificate was revoked could not be checked";

// What one request met on its way (ExchangeTrace::OnHttpFacts, voka-auth
// check): filled as far as the request got, whatever its result.
struct HttpFacts {
  long status = 0;                 // the last response's HTTP status; 0 when none came
  int redirects = 0;               // redirects followed
  std::string failure;             // why the request failed, in words; empty when it did not
  int cause = VOKA_CAUSE_NONE;     // why the request failed, as a cause
  bool secure = false;             // the last connection was https: the fields below tell of it
  std::string tlsVersion;          // "TLSv1.3"; empty when the handshake got no answer
  std::string certificateSubject;  // "CN=localhost" (libcurl), "localhost" (WinINet); empty when none was shown
  std::string certificateIssuer;
  std::string certificateExpiry;  // "2026-12-31 23:59:59 UTC"
  bool certificateVerified = false;
  std::string certificateProblem;  // why it was not verified, in words
};
