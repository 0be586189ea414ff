// The name and meaning of each failure cause (voka/failure_cause.h).
#include "voka/failure_cause.h"

#include <cstring>

#include "voka/http_facts.h"

namespace {

struct CauseRow {
  int cause;
  const char* name;
  const char* text;
};

constexpr CauseRow kCauses[] = {
    {VOKA_CAUSE_NONE, "none", "an answer came and was read"},
    {VOKA_CAUSE_NOT_TRIED, "not-tried", "not tried"},
    {VOKA_CAUSE_UDP_OFF, "udp-off", "UDP off (port 0)"},
    {VOKA_CAUSE_BAD_PORT, "bad-port", "the UDP port is not 1 to 65535"},
    {VOKA_CAUSE_NAME_NOT_RESOLVED, "name-not-resolved", kHttpNameNotResolved},
    {VOKA_CAUSE_NO_SOCKET, "no-socket", "no socket could be made"},
    {VOKA_CAUSE_SEND_FAILED, "send-failed", "the system refused to send the datagram"},
    {VOKA_CAUSE_PORT_UNREACHABLE, "port-unreachable", "the server's port is closed (port unreachable)"},
    {VOKA_CAUSE_HOST_UNREACHABLE, "host-unreachable", "the server's host or network is unreachable"},
    {VOKA_CAUSE_NO_CONNECTION, "no-connection", kHttpNoConnection},
    {VOKA_CAUSE_NO_ANSWER, "no-answer", kHttpTimedOut},
    {VOKA_CAUSE_RECEIVE_FAILED, "receive-failed", "the receive failed"},
    {VOKA_CAUSE_ANSWER_TOO_LONG, "answer-too-long", "the answer is too long"},
    {VOKA_CAUSE_ANSWER_CUT_SHORT, "answer-cut-short", "the answer was cut short"},
    {VOKA_CAUSE_BAD_ANSWER_HEADER, "bad-answer-header", "the answer's header is out of range"},
    {VOKA_CAUSE_EMPTY_ANSWER, "empty-answer", "the answer is empty"},
    {VOKA_CAUSE_NO_VERDICT, "no-verdict", "the answer has no numeric RETVALUE"},
    {VOKA_CAUSE_HTTP_STATUS, "http-status", "the server answered with an HTTP error status"},
    {VOKA_CAUSE_CERTIFICATE_UNTRUSTED, "certificate-untrusted", kCertificateUntrusted},
    {VOKA_CAUSE_CERTIFICATE_EXPIRED, "certificate-expired", kCertificateExpired},
    {VOKA_CAUSE_CERTIFICATE_NOT_YET_VALID, "certificate-not-yet-valid", kCertificateNotYetValid},
    {VOKA_CAUSE_CERTIFICATE_WRONG_HOST, "certificate-wrong-host", kCertificateForAnotherHost},
    {VOKA_CAUSE_CERTIFICATE_NOT_CHECKED, "certificate-not-checked", kCertificateRevocationUnknown},
    {VOKA_CAUSE_CERTIFICATE_REFUSED, "certificate-refused", "the certificate was refused"},
    {VOKA_CAUSE_REDIRECT_REFUSED, "redirect-refused", "a redirect to http, or too many redirects, was refused"},
    {VOKA_CAUSE_HTTP_FAILED, "http-failed", "the HTTP request failed"},
    {VOKA_CAUSE_REQUEST_TOO_LONG, "request-too-long", "the request is too long to send"},
    {VOKA_CAUSE_TEXT_REFUSED, "text-refused", "a text holds ^$^ or a character the code page cannot hold"},
    {VOKA_CAUSE_NO_CHALLENGE, "no-challenge", "the answer asks for the USB token without a usable challenge"},
    {VOKA_CAUSE_TOKEN_FAILED, "token-failed", "the USB token library gave no password"},
    {VOKA_CAUSE_OUT_OF_MEMORY, "out-of-memory", "out of memory"},
    {VOKA_CAUSE_CANCELLED, "cancelled", "the caller cancelled the request"},
};

constexpr bool RowsInOrder() {
  for (int i = 0; i < VOKA_CAUSE_COUNT; ++i) {
    if (kCauses[i].cause != i) return false;
  }
  return true;
}
static_assert(sizeof kCauses / sizeof kCauses[0] == VOKA_CAUSE_COUNT && RowsInOrder(),
              "one row per cause, in the order of their numbers");

}  // namespace

const char* FailureCauseName(int cause) { return cause >= 0 && cause < VOKA_CAUSE_COUNT ? kCauses[cause].name : ""; }

const char* FailureCauseText(int cause) { return cause >= 0 && cause < VOKA_CAUSE_COUNT ? kCauses[cause].text : ""; }

int CauseOfCertificateProblem(const char* problem) {
  for (int cause = VOKA_CAUSE_CERTIFICATE_UNTRUSTED; cause < VOKA_CAUSE_CERTIFICATE_REFUSED; ++cause) {
    if (std::strcmp(problem, kCauses[cause].text) == 0) return cause;
  }
  return VOKA_CAUSE_CERTIFICATE_REFUSED;
}
