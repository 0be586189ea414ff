#pragma once
// One HTTP GET of an absolute http or https URL; the response body (whatever
// the status) is appended to `body`, each read chunk up to its first NUL byte.
// https certificates must be valid, for the host, and from a trusted CA; a
// redirect from https to plain http is refused. libcurl asks for TLS 1.2 at
// least; with WinINet the system's Schannel settings decide.

#include <cstddef>
#include <string>

#include "voka/http_facts.h"
#include "voka/limits.h"

constexpr char kHttpUserAgent[] = "Microsoft Internet Explorer";
// With libcurl: names a PEM file of the CAs to trust instead of the system's,
// for callers that name none.
constexpr char kHttpCaBundleVariable[] = "VOKA_CA_BUNDLE";
// Whether the fetcher can trust a caller's PEM file of CAs (libcurl) rather
// than only the system's certificate store (WinINet).
extern const bool kHttpTakesCaBundle;

// 0: this call appended a non-empty body; 1: nothing was appended: a step
// failed, the body was cut short of its declared end, grew past
// kHttpBodyLimit, or the request outlasted kHttpRequestTimeOutMs. With facts,
// the request also tells what it met there; it is sent as without them.
// caBundle, when neither null nor empty, names the PEM file of the CAs that
// https trusts alone (where kHttpTakesCaBundle).
int HttpGet(const char* url, std::string& body, HttpFacts* facts = nullptr, const char* caBundle = nullptr);
