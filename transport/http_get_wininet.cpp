#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "transport/deadline_worker_win.h"
#include "transport/http_facts_wininet.h"
#include "transport/wininet_handle_set.h"
#include "voka/transport/http_get.h"

namespace {

// As many as the libcurl fetcher follows. WinINet's own redirect handling is
// switched off: some implementations follow a redirect loop for ever.

// The end of the whole request, redirects included.
class RequestDeadline {
 public:
  RequestDeadline() : m_end(GetTickCount64() + kHttpRequestTimeOutMs) {}
  ULONGLONG EndTick() const { return m_end; }
  bool Passed() const { return GetTickCount64() >= m_end; }
  // The receive time-out, shortened to what is left of the request.
  DWORD NextWaitMs() const {
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG left = now < m_end ? m_end - now : 0;
    return static_cast<DWORD>(left < kHttpReceiveTimeOutMs ? left : kHttpReceiveTimeOutMs);
  }

 private:
  ULONGLONG m_end;
};

bool SetReceiveTimeOut(HINTERNET handle, const RequestDeadline& deadline) {
  DWORD timeOut = deadline.NextWaitMs();
  return timeOut > 0 && InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeOut, sizeof(timeOut)) != FALSE;
}

struct UrlParts {
  std::string host;
  std::string target;  // path and query
  INTERNET_PORT port = 0;
  bool secure = false;
};

bool SplitUrl(const char* url, UrlParts* parts) {
  // Zero buffers with non-zero lengths: the parts point into `url`, so no
  // fixed buffer limits the URL's length.
  URL_COMPONENTSA components;
  std::memset(&components, 0, sizeof(components));
  components.dwStructSize = sizeof(components);
  components.dwHostNameLength = 1;
  components.dwUrlPathLength = 1;
  components.dwExtraInfoLength = 1;
  if (!InternetCrackUrlA(url, 0, 0, &components)) return false;
  if (components.nScheme != INTERNET_SCHEME_HTTP && components.nScheme != INTERNET_SCHEME_HTTPS) return false;
  if (components.lpszHostName == nullptr || components.dwHostNameLength == 0) return false;
  parts->host.assign(components.lpszHostName, components.dwHostNameLength);
  if (components.lpszUrlPath != nullptr) parts->target.assign(components.lpszUrlPath, components.dwUrlPathLength);
  if (parts->target.empty()) parts->target = "/";
  if (components.lpszExtraInfo != nullptr) parts->target.append(components.lpszExtraInfo, components.dwExtraInfoLength);
  parts->port = components.nPort;
  parts->secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  return true;
}

bool IsHttps(const std::string& url) {
  UrlParts parts;
  return SplitUrl(url.c_str(), &parts) && parts.secure;
}

// Appends the bytes read up to the first NUL among them.
size_t AppendUpToNul(const char* data, DWORD count, std::string& body) {
  const void* nul = std::memchr(data, '\0', count);
  size_t keep = nul ? static_cast<size_t>(static_cast<const char*>(nul) - data) : count;
  body.append(data, keep);
  return keep;
}

// The absolute URL that a 3xx answer points to; empty when the answer is no
// redirect or names no usable location.
std::string RedirectTarget(HINTERNET request, const std::string& url) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
      status < 300 || status > 399 || status == 304) {
    return "";
  }
  DWORD length = 0;
  HttpQueryInfoA(request, HTTP_QUERY_LOCATION, nullptr, &length, nullptr);
  if (length == 0) return "";
  std::string location(length, '\0');
  if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, &location[0], &length, nullptr)) return "";
  location.resize(length);

  // Escaping can triple every character of the combined URL.
  std::string combined(3 * (url.size() + location.size()) + 16, '\0');
  DWORD combinedLength = static_cast<DWORD>(combined.size());
  if (!InternetCombineUrlA(url.c_str(), location.c_str(), &combined[0], &combinedLength, 0)) return "";
  combined.resize(combinedLength);
  return combined;
}

// The body length the response declares; -1 when it declares none (a chunked
// body, or one that the close ends).
long long DeclaredBodyLength(HINTERNET request) {
  char value[32];
  DWORD size = sizeof(value);
  if (HttpQueryInfoA(request, HTTP_QUERY_TRANSFER_ENCODING, value, &size, nullptr)) return -1;
  DWORD length = 0;
  size = sizeof(length);
  if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr)) {
    return -1;
  }
  return length;
}

// Reads the body until its end, the deadline or kHttpBodyLimit bytes; the
// cause of its failure, VOKA_CAUSE_NONE when it was read whole. Each
// wait asks only for what has arrived, so that a server sending a byte at a
// time cannot hold one read past the deadline; the pieces are gathered into
// chunks of kHttpReadChunkSize, as one blocking read of that size returns.
int ReadBody(HINTERNET request, const RequestDeadline& deadline, std::string& body) {
  std::unique_ptr<char[]> chunk(new (std::nothrow) char[kHttpReadChunkSize]);
  if (!chunk) return VOKA_CAUSE_OUT_OF_MEMORY;
  size_t appended = 0;
  size_t received = 0;
  DWORD filled = 0;
  for (;;) {
    DWORD available = 0;
    if (!SetReceiveTimeOut(request, deadline)) return VOKA_CAUSE_NO_ANSWER;
    // A failed wait or read (a reset, the receive time-out, broken framing)
    // cuts the body short, and a body cut short is no answer.
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) return VOKA_CAUSE_ANSWER_CUT_SHORT;
    if (available == 0) break;
    const DWORD room = kHttpReadChunkSize - filled;
    DWORD read = 0;
    if (!InternetReadFile(request, chunk.get() + filled, available < room ? available : room, &read)) {
      return VOKA_CAUSE_ANSWER_CUT_SHORT;
    }
    if (read == 0) break;
    received += read;
    if (received > kHttpBodyLimit) return VOKA_CAUSE_ANSWER_TOO_LONG;
    filled += read;
    if (filled == static_cast<DWORD>(kHttpReadChunkSize)) {
      appended += AppendUpToNul(chunk.get(), filled, body);
      filled = 0;
    }
  }
  // A close short of the declared length can end the reads as the body's
  // end does.
  const long long declared = DeclaredBodyLength(request);
  if (declared >= 0 && static_cast<long long>(received) != declared) return VOKA_CAUSE_ANSWER_CUT_SHORT;
  appended += AppendUpToNul(chunk.get(), filled, body);
  if (deadline.Passed()) return VOKA_CAUSE_NO_ANSWER;
  return appended > 0 ? VOKA_CAUSE_NONE : VOKA_CAUSE_EMPTY_ANSWER;
}

// One GET of url. A redirect leaves its target in redirect and reads no
// body; any other answer's body is appended to body.
int FetchOnce(WinInetHandleSet& handles, HINTERNET root, const std::string& url, const RequestDeadline& deadline,
              std::string& body, std::string& redirect, HttpFacts& facts) {
  // The request is opened in steps rather than with InternetOpenUrlA, so that
  // the receive time-out can be set on the request handle before anything is
  // sent: some WinINet implementations ignore the root handle's time-out.
  UrlParts parts;
  if (!SplitUrl(url.c_str(), &parts)) {
    facts.failure = "not an http or https URL";
    facts.cause = VOKA_CAUSE_HTTP_FAILED;
    return 1;
  }
  facts.secure = parts.secure;
  SetHandle connection(
      handles, InternetConnectA(root, parts.host.c_str(), parts.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (connection.get() == nullptr) {
    TellWinInetFailure(GetLastError(), facts);
    return 1;
  }
  // Certificates are checked against the system's Root store; no flag that
  // ignores a certificate error is ever set, and no dialog is shown.
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI |
                (parts.secure ? INTERNET_FLAG_SECURE : 0);
  SetHandle request(
      handles, HttpOpenRequestA(connection.get(), "GET", parts.target.c_str(), nullptr, nullptr, nullptr, flags, 0));
  if (request.get() == nullptr || !SetReceiveTimeOut(request.get(), deadline)) {
    facts.cause = VOKA_CAUSE_HTTP_FAILED;
    return 1;
  }
  const bool sent = HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0) != FALSE;
  const DWORD error = GetLastError();
  if (!sent) TellWinInetFailure(error, facts);
  if (parts.secure) TellServerCertificate(request.get(), facts);
  if (!sent) return 1;
  if (deadline.Passed()) {
    facts.failure = kHttpTimedOut;
    facts.cause = VOKA_CAUSE_NO_ANSWER;
    return 1;
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
    facts.status = static_cast<long>(status);
  }
  redirect = RedirectTarget(request.get(), url);
  if (!redirect.empty()) return 0;
  facts.cause = ReadBody(request.get(), deadline, body);
  if (facts.cause == VOKA_CAUSE_NONE) return 0;
  facts.failure = "the body is empty, cut short, late or longer than " + std::to_string(kHttpBodyLimit) + " bytes";
  return 1;
}

// The whole request, redirects included, into body.
int FetchFollowingRedirects(WinInetHandleSet& handles, const std::string& url, const RequestDeadline& deadline,
                            std::string& body, HttpFacts& facts) {
  SetHandle root(handles, InternetOpenA(kHttpUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (root.get() == nullptr || !SetReceiveTimeOut(root.get(), deadline)) {
    TellWinInetFailure(GetLastError(), facts);
    return 1;
  }
  std::string current = url;
  for (facts.redirects = 0; facts.redirects <= kHttpMaxRedirects; ++facts.redirects) {
    std::string redirect;
    if (FetchOnce(handles, root.get(), current, deadline, body, redirect, facts) != 0) return 1;
    if (redirect.empty()) return 0;
    if (IsHttps(current) && !IsHttps(redirect)) {
      facts.failure = "a redirect from https to http is refused";
      facts.cause = VOKA_CAUSE_REDIRECT_REFUSED;
      return 1;
    }
    current = redirect;
  }
  facts.failure = "more than " + std::to_string(kHttpMaxRedirects) + " redirects";
  facts.cause = VOKA_CAUSE_REDIRECT_REFUSED;
  return 1;
}

// One request on a worker thread: WinINet's receive time-out bounds each wait
// for a byte but not a response head that arrives a byte at a time, so the
// caller waits for the worker against the request's deadline and, past it,
// closes the request's handles. The body is the worker's until it has ended.
class FetchTask : public DeadlineTask {
 public:
  FetchTask(const char* url, const RequestDeadline& deadline) : m_url(url), m_deadline(deadline) {}

  void Run() noexcept override {
    try {
      m_result = FetchFollowingRedirects(m_handles, m_url, m_deadline, m_body, m_facts);
    } catch (...) {
      m_result = 1;
    }
  }
  void Cancel() noexcept override { m_handles.Cancel(); }

  int Result() const { return m_result; }
  const std::string& Body() const { return m_body; }
  const HttpFacts& Facts() const { return m_facts; }

 private:
  const std::string m_url;
  const RequestDeadline m_deadline;
  WinInetHandleSet m_handles;
  int m_result = 1;
  std::string m_body;
  HttpFacts m_facts;
};

}  // namespace

// WinINet trusts the system's certificate store alone.
const bool kHttpTakesCaBundle = false;

int HttpGet(const char* url, std::string& body, HttpFacts* facts, const char* /*caBundle*/) {
  if (url == nullptr) return 1;
  const RequestDeadline deadline;
  try {
    auto task = std::make_shared<FetchTask>(url, deadline);
    const bool ended = RunBeforeDeadline(task, deadline.EndTick());
    if (facts != nullptr) {
      // A task past the deadline still runs: its facts are not to be read.
      *facts = ended ? task->Facts() : HttpFacts();
      if (!ended) {
        facts->failure = kHttpTimedOut;
        facts->cause = VOKA_CAUSE_NO_ANSWER;
      }
      facts->certificateVerified =
          facts->secure && !facts->certificateSubject.empty() && facts->certificateProblem.empty();
    }
    if (!ended || task->Result() != 0) return 1;
    body += task->Body();
    return 0;
  } catch (const std::bad_alloc&) {
    return 1;
  }
}
