/* Why a request failed, as the transport saw it: one cause for each stage of
 * the last request (the UDP exchange and, after a fallback, the HTTP fetch),
 * kept by the engine beside the result code and DESCMSG, which stay as they
 * are. The numbers and names never change; docs/behaviour.md explains each.
 * For C and C++ alike: <voka/failure_cause.h>. */
#ifndef VOKA_FAILURE_CAUSE_H
#define VOKA_FAILURE_CAUSE_H

enum voka_cause {
  VOKA_CAUSE_NONE = 0,                       /* an answer came and was read: any verdict is the server's */
  VOKA_CAUSE_NOT_TRIED = 1,                  /* the stage did not run */
  VOKA_CAUSE_UDP_OFF = 2,                    /* UDP port 0: nothing sent */
  VOKA_CAUSE_BAD_PORT = 3,                   /* the UDP port is not 1 to 65535 */
  VOKA_CAUSE_NAME_NOT_RESOLVED = 4,          /* the server's name does not resolve */
  VOKA_CAUSE_NO_SOCKET = 5,                  /* no socket could be made */
  VOKA_CAUSE_SEND_FAILED = 6,                /* the system refused to send the datagram */
  VOKA_CAUSE_PORT_UNREACHABLE = 7,           /* the system reports the server's UDP port closed */
  VOKA_CAUSE_HOST_UNREACHABLE = 8,           /* the system reports the server's host or network unreachable */
  VOKA_CAUSE_NO_CONNECTION = 9,              /* no TCP connection to the HTTP server */
  VOKA_CAUSE_NO_ANSWER = 10,                 /* nothing came back within the wait */
  VOKA_CAUSE_RECEIVE_FAILED = 11,            /* the receive failed for another reason */
  VOKA_CAUSE_ANSWER_TOO_LONG = 12,           /* a datagram of 1024 bytes or more, or a body past its limit */
  VOKA_CAUSE_ANSWER_CUT_SHORT = 13,          /* a datagram shorter than its header, or a body cut short */
  VOKA_CAUSE_BAD_ANSWER_HEADER = 14,         /* a datagram whose dwLength is out of range */
  VOKA_CAUSE_EMPTY_ANSWER = 15,              /* an HTTP answer with an empty body */
  VOKA_CAUSE_NO_VERDICT = 16,                /* an answer without a numeric RETVALUE */
  VOKA_CAUSE_HTTP_STATUS = 17,               /* an HTTP error status (400 and up) without a verdict */
  VOKA_CAUSE_CERTIFICATE_UNTRUSTED = 18,     /* no trusted CA issued the server's certificate */
  VOKA_CAUSE_CERTIFICATE_EXPIRED = 19,       /* the server's certificate has expired */
  VOKA_CAUSE_CERTIFICATE_NOT_YET_VALID = 20, /* the server's certificate is not valid yet */
  VOKA_CAUSE_CERTIFICATE_WRONG_HOST = 21,    /* the server's certificate is for another host */
  VOKA_CAUSE_CERTIFICATE_NOT_CHECKED = 22,   /* whether the certificate was revoked could not be checked */
  VOKA_CAUSE_CERTIFICATE_REFUSED = 23,       /* the certificate was refused for another reason */
  VOKA_CAUSE_REDIRECT_REFUSED = 24,          /* a redirect from https to http, or too many redirects */
  VOKA_CAUSE_HTTP_FAILED = 25,               /* the HTTP request failed otherwise (TLS, protocol) */
  VOKA_CAUSE_REQUEST_TOO_LONG = 26,          /* the request does not fit a datagram or a URL */
  VOKA_CAUSE_TEXT_REFUSED = 27,              /* a text holds "^$^", or one the code page cannot hold */
  VOKA_CAUSE_NO_CHALLENGE = 28,              /* the answer asks for the USB token without a usable CHALLENGE */
  VOKA_CAUSE_TOKEN_FAILED = 29,              /* the USB token library gave no password */
  VOKA_CAUSE_OUT_OF_MEMORY = 30,
  VOKA_CAUSE_CANCELLED = 31 /* the caller cancelled the request while it waited */
};
#define VOKA_CAUSE_COUNT 32

#ifdef __cplusplus
// "none", "not-tried", "udp-off", ... : the cause's stable name; "" for a
// number that is no cause.
const char* FailureCauseName(int cause);
// What the cause means, in words, for a person.
const char* FailureCauseText(int cause);
// The certificate cause whose words (voka/http_facts.h) are problem;
// VOKA_CAUSE_CERTIFICATE_REFUSED for any other words.
int CauseOfCertificateProblem(const char* problem);
#endif

#endif /* VOKA_FAILURE_CAUSE_H */
