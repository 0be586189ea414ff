#pragma once
// One HTTP GET of an absolute http or https URL; the response body (whatever
// the status) is appended to `body`, each read chunk up to its first NUL byte.
// https certificates must be valid, for the host, and from a trusted CA; a
// redirect from https to plain http is refused. libcurl asks for TLS 1.2 at
// least; with WinINet the system's Schannel settings decide.

#include <cstddef>
#include <string>

constexpr int kHttpReceiveTimeOutMs = 5000;   // longest wait for any byte
constexpr int kHttpRequestTimeOutMs = 30000;  // longest whole request, redirects included
constexpr size_t kHttpBodyLimit = 1u << 20;   // longest body read; a longer one fails
constexpr int kHttpReadChunkSize = 500000;
constexpr char kHttpUserAgent[] = "Microsoft Internet Explorer";
// With libcurl: names a PEM file of the CAs to trust instead of the system's.
constexpr char kHttpCaBundleVariable[] = "VOKA_CA_BUNDLE";

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

// What one request met on its way, for the connection check: filled as far
// as the request got, whatever its result.
struct HttpFacts {
  long status = 0;                 // the last response's HTTP status; 0 when none came
  int redirects = 0;               // redirects followed
  std::string failure;             // why the request failed, in words; empty when it did not
  bool secure = false;             // the last connection was https: the fields below tell of it
  std::string tlsVersion;          // "TLSv1.3"; empty when the handshake got no answer
  std::string certificateSubject;  // "CN=localhost" (libcurl), "localhost" (WinINet); empty when none was shown
  std::string certificateIssuer;
  std::string certificateExpiry;  // "2026-12-31 23:59:59 UTC"
  bool certificateVerified = false;
  std::string certificateProblem;  // why it was not verified, in words
};

// 0: this call appended a non-empty body; 1: nothing was appended: a step
// failed, the body was cut short of its declared end, grew past
// kHttpBodyLimit, or the request outlasted kHttpRequestTimeOutMs. With facts,
// the request also tells what it met there; it is sent as without them.
int HttpGet(const char* url, std::string& body, HttpFacts* facts = nullptr);
