#include <curl/curl.h>
#include <strings.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "transport/tls_facts_openssl.h"
#include "voka/transport/http_get.h"

namespace {

using Clock = std::chrono::steady_clock;

bool InitialiseCurlOnce() {
  static std::once_flag once;
  static bool initialised = false;
  std::call_once(once, [] { initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return initialised;
}

// Cuts the body into the chunks a 500000-byte read would return, and keeps
// each chunk up to its first NUL byte. Tracks when the server last sent a byte.
struct Transfer {
  CURL* curl = nullptr;
  std::string* body = nullptr;
  size_t appended = 0;
  size_t chunkOffset = 0;  // position inside the current chunk
  bool chunkCut = false;   // the current chunk already met a NUL
  size_t received = 0;     // body bytes, NULs included
  bool connected = false;
  bool outOfMemory = false;
  bool silent = false;  // ended for want of a byte
  Clock::time_point lastByte;

  // False once the body has grown past kHttpBodyLimit.
  bool Take(const char* data, size_t size) {
    lastByte = Clock::now();
    received += size;
    if (received > kHttpBodyLimit) return false;
    while (size > 0) {
      size_t room = kHttpReadChunkSize - chunkOffset;
      size_t piece = size < room ? size : room;
      if (!chunkCut) {
        const void* nul = std::memchr(data, '\0', piece);
        size_t keep = nul ? static_cast<size_t>(static_cast<const char*>(nul) - data) : piece;
        body->append(data, keep);
        appended += keep;
        chunkCut = nul != nullptr;
      }
      data += piece;
      size -= piece;
      chunkOffset += piece;
      if (chunkOffset == static_cast<size_t>(kHttpReadChunkSize)) {
        chunkOffset = 0;
        chunkCut = false;
      }
    }
    return true;
  }
};

// A short count makes libcurl end the transfer with an error. No exception
// may unwind through libcurl: it would skip the transfer's clean-up.
size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  try {
    return transfer->Take(data, size * count) ? size * count : 0;
  } catch (const std::bad_alloc&) {
    transfer->outOfMemory = true;
    return 0;
  }
}

size_t OnHeader(char*, size_t size, size_t count, void* user) {
  static_cast<Transfer*>(user)->lastByte = Clock::now();
  return size * count;
}

// Ends the transfer once the connection is up and no byte came for 5000 ms;
// connecting is bounded only by the whole request's time limit.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  if (!transfer->connected) {
    curl_off_t connectTime = 0;
    curl_easy_getinfo(transfer->curl, CURLINFO_CONNECT_TIME_T, &connectTime);
    if (connectTime <= 0) return 0;
    transfer->connected = true;
    transfer->lastByte = Clock::now();
    return 0;
  }
  auto silence = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - transfer->lastByte);
  transfer->silent = silence.count() >= kHttpReceiveTimeOutMs;
  return transfer->silent ? 1 : 0;
}

// Every option must take: a request made without one of them is not the
// request this fetcher promises, so a refused option fails it.
template <typename Value>
bool SetOption(CURL* curl, CURLoption option, Value value) {
  return curl_easy_setopt(curl, option, value) == CURLE_OK;
}

// Certificates are always checked, against the system's CAs or, when the
// caller or else VOKA_CA_BUNDLE names a PEM file, against its CAs alone, and
// TLS is 1.2 at least whatever the machine's OpenSSL configuration allows. A
// request that began on https never follows a redirect to plain http.
bool SetTransportSecurity(CURL* curl, const char* url, const char* caBundle) {
  const char* bundle = caBundle != nullptr && caBundle[0] != '\0' ? caBundle : std::getenv(kHttpCaBundleVariable);
  const bool ownBundle = bundle != nullptr && bundle[0] != '\0';
  const bool secure = strncasecmp(url, "https:", 6) == 0;
  return SetOption(curl, CURLOPT_SSL_VERIFYPEER, 1L) && SetOption(curl, CURLOPT_SSL_VERIFYHOST, 2L) &&
         SetOption(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2)) &&
         (!ownBundle ||
          (SetOption(curl, CURLOPT_CAINFO, bundle) && SetOption(curl, CURLOPT_CAPATH, static_cast<char*>(nullptr)))) &&
         SetOption(curl, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
}

bool SetRequest(CURL* curl, const char* url, const char* caBundle, curl_slist* headers, Transfer* transfer) {
  return SetOption(curl, CURLOPT_URL, url) && SetOption(curl, CURLOPT_USERAGENT, kHttpUserAgent) &&
         SetOption(curl, CURLOPT_HTTPHEADER, headers) && SetOption(curl, CURLOPT_HTTPGET, 1L) &&
         SetOption(curl, CURLOPT_PROTOCOLS_STR, "http,https") && SetTransportSecurity(curl, url, caBundle) &&
         SetOption(curl, CURLOPT_FOLLOWLOCATION, 1L) && SetOption(curl, CURLOPT_MAXREDIRS, long{kHttpMaxRedirects}) &&
         SetOption(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(kHttpRequestTimeOutMs)) &&
         SetOption(curl, CURLOPT_NOSIGNAL, 1L) && SetOption(curl, CURLOPT_WRITEFUNCTION, OnBody) &&
         SetOption(curl, CURLOPT_WRITEDATA, transfer) && SetOption(curl, CURLOPT_HEADERFUNCTION, OnHeader) &&
         SetOption(curl, CURLOPT_HEADERDATA, transfer) && SetOption(curl, CURLOPT_NOPROGRESS, 0L) &&
         SetOption(curl, CURLOPT_XFERINFOFUNCTION, OnProgress) && SetOption(curl, CURLOPT_XFERINFODATA, transfer);
}

struct EasyHandleCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct HeaderListCleanup {
  void operator()(curl_slist* headers) const { curl_slist_free_all(headers); }
};
using EasyHandle = std::unique_ptr<CURL, EasyHandleCleanup>;
using HeaderList = std::unique_ptr<curl_slist, HeaderListCleanup>;

// Why a transfer failed, in words: the fetcher's own limits by name,
// anything else as libcurl words it.
std::string FailureText(CURLcode code, const Transfer& transfer, const char* curlText) {
  if (transfer.outOfMemory) return "out of memory";
  if (transfer.received > kHttpBodyLimit) return "the body is longer than " + std::to_string(kHttpBodyLimit) + " bytes";
  if (transfer.silent) return "no byte for " + std::to_string(kHttpReceiveTimeOutMs) + " ms";
  switch (code) {
    case CURLE_OK: return transfer.appended > 0 ? "" : "the body is empty";
    case CURLE_COULDNT_RESOLVE_HOST: return kHttpNameNotResolved;
    case CURLE_COULDNT_CONNECT: return kHttpNoConnection;
    case CURLE_OPERATION_TIMEDOUT: return kHttpTimedOut;
    default: return curlText[0] != '\0' ? curlText : curl_easy_strerror(code);
  }
}

// Why a transfer failed, as a cause; facts.certificateProblem already told.
int FailureCause(CURLcode code, const Transfer& transfer, const HttpFacts& facts) {
  if (transfer.outOfMemory) return VOKA_CAUSE_OUT_OF_MEMORY;
  if (transfer.received > kHttpBodyLimit) return VOKA_CAUSE_ANSWER_TOO_LONG;
  if (transfer.silent) return VOKA_CAUSE_NO_ANSWER;
  if (!facts.certificateProblem.empty()) return CauseOfCertificateProblem(facts.certificateProblem.c_str());
  switch (code) {
    case CURLE_OK: return transfer.appended > 0 ? VOKA_CAUSE_NONE : VOKA_CAUSE_EMPTY_ANSWER;
    case CURLE_COULDNT_RESOLVE_HOST: return VOKA_CAUSE_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT: return VOKA_CAUSE_NO_CONNECTION;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING: return VOKA_CAUSE_NO_ANSWER;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR: return VOKA_CAUSE_ANSWER_CUT_SHORT;
    case CURLE_TOO_MANY_REDIRECTS: return VOKA_CAUSE_REDIRECT_REFUSED;
    // A redirect answered, to a scheme the request may not follow.
    case CURLE_UNSUPPORTED_PROTOCOL:
      return facts.status >= 300 && facts.status < 400 ? VOKA_CAUSE_REDIRECT_REFUSED : VOKA_CAUSE_HTTP_FAILED;
    case CURLE_OUT_OF_MEMORY: return VOKA_CAUSE_OUT_OF_MEMORY;
    default: return VOKA_CAUSE_HTTP_FAILED;
  }
}

void TellFacts(CURL* curl, CURLcode code, const Transfer& transfer, const char* curlText, HttpFacts& facts) {
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &facts.status);
  long redirects = 0;
  curl_easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &redirects);
  facts.redirects = static_cast<int>(redirects);
  facts.failure = FailureText(code, transfer, curlText);
  const char* last = nullptr;
  facts.secure = curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &last) == CURLE_OK && last != nullptr &&
                 strncasecmp(last, "https:", 6) == 0;
  // libcurl checks the host name itself, once OpenSSL has verified the chain.
  if (code == CURLE_PEER_FAILED_VERIFICATION && facts.certificateProblem.empty()) {
    facts.certificateProblem = kCertificateForAnotherHost;
  }
  facts.certificateVerified = facts.secure && !facts.certificateSubject.empty() && facts.certificateProblem.empty();
  facts.cause = FailureCause(code, transfer, facts);
}

}  // namespace

const bool kHttpTakesCaBundle = true;

int HttpGet(const char* url, std::string& body, HttpFacts* facts, const char* caBundle) {
  if (url == nullptr || !InitialiseCurlOnce()) return 1;
  // The header list must outlive the handle that points to it.
  const HeaderList headers(curl_slist_append(nullptr, "Pragma: no-cache"));
  if (!headers || curl_slist_append(headers.get(), "Cache-Control: no-cache") == nullptr) return 1;
  const EasyHandle handle(curl_easy_init());
  if (!handle) return 1;

  CURL* curl = handle.get();
  Transfer transfer;
  transfer.curl = curl;
  transfer.body = &body;
  if (!SetRequest(curl, url, caBundle, headers.get(), &transfer)) return 1;
  char curlText[CURL_ERROR_SIZE] = "";
  if (facts != nullptr) {
    *facts = HttpFacts();
    // Without OpenSSL beneath libcurl the TLS facts stay empty; the request is the same.
    WatchTlsFacts(curl, facts);
    if (!SetOption(curl, CURLOPT_ERRORBUFFER, curlText)) return 1;
  }
  const size_t sizeBefore = body.size();
  const CURLcode code = curl_easy_perform(curl);
  if (facts != nullptr) TellFacts(curl, code, transfer, curlText, *facts);
  // A transfer that ends in an error fails whatever it delivered: a body cut
  // short (short of its length or last chunk, reset, silent for the receive
  // time-out, or a TLS stream without its close) is not an answer.
  if (code != CURLE_OK || transfer.outOfMemory) {
    body.resize(sizeBefore);
    return 1;
  }
  return transfer.appended > 0 ? 0 : 1;
}
