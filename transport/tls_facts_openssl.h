// The TLS facts of a libcurl request (version, the server's certificate and
// its verification), read from OpenSSL while the handshake verifies the
// certificate, so that a refused certificate is described too.
#pragma once

#include <curl/curl.h>

#include "voka/transport/http_get.h"

// Has every TLS connection of curl record into facts; the verification
// itself stays libcurl's. False when libcurl was built without OpenSSL.
bool WatchTlsFacts(CURL* curl, HttpFacts* facts);
