// What WinINet tells of a request, as the facts of HttpGet (http_get.h).
#pragma once

#include <windows.h>
#include <wininet.h>

#include "voka/transport/http_get.h"

// The failure of a WinINet call, from its GetLastError, in words; a
// certificate error also as the certificate's problem.
void TellWinInetFailure(DWORD error, HttpFacts& facts);

// The TLS version and the server certificate of an https request, which
// WinINet keeps on the request even after it refused the certificate.
void TellServerCertificate(HINTERNET request, HttpFacts& facts);
