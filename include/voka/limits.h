// Every time-out, size limit and default of the client library and of
// voka-auth, each with the reason for its number. The code, the programs'
// help texts and the document checks read them here: <voka/limits.h>.
// voka-server's own are in programs/voka-server/server_limits.h, those of
// voka-auth bench's load in programs/voka-auth/bench_options.h.
#pragma once

#include <climits>
#include <cstddef>

// Endpoints. The defaults of voka-auth and voka-server: both ends on the
// loopback interface unless told otherwise.
constexpr char kDefaultHost[] = "127.0.0.1";
// The challenge server's port when "host[:port]" names none.
constexpr int kDefaultUdpPort = 8025;
// voka-server's validation service, and voka-auth's default base URL.
constexpr int kDefaultHttpPort = 8080;

// The code page the protocol speaks (Simplified Chinese), and so that of the
// engine's byte strings on every system, whatever its own ANSI code page;
// VOKA_CODEPAGE (Linux) or voka-auth's --codepage choose another.
constexpr unsigned kDefaultCodePage = 936;

// How long a UDP request waits for its answer unless SetUdpTimeOut says otherwise.
constexpr int kDefaultUdpTimeOutSeconds = 10;
// The longest wait a UDP request can keep: the UDP client counts it in
// milliseconds in an int.
constexpr int kLongestUdpTimeOutSeconds = INT_MAX / 1000;
// The UDP client's receive wait before its owner sets the request's own.
constexpr int kUdpClientInitialTimeOutMs = 2000;

// A datagram: the 20-byte header and its payload fill one 2048-byte buffer;
// 2027 is the longest payload the framing accepts.
constexpr int kUdpHeaderSize = 20;
constexpr int kUdpPacketSize = 2048;
constexpr int kUdpMaxPayload = 2027;
// An answer datagram must be shorter than this.
constexpr unsigned kUdpAnswerLimit = 1024;
// Each text field of the UDP client (server address, port, name) and each
// diagnostic log line: 259 characters and a NUL.
constexpr int kUdpTextSize = 260;
constexpr int kUdpLogLineMax = kUdpTextSize - 1;
// Past this size the diagnostic log is started afresh before the next lines.
constexpr long kUdpLogRestartSize = 1L << 20;
// The sealed, Base64-coded parameter text and its NUL.
constexpr size_t kSealedBufferSize = 2048;

// HTTP requests.
constexpr int kHttpReceiveTimeOutMs = 5000;   // longest wait for any byte
constexpr int kHttpRequestTimeOutMs = 30000;  // longest whole request, redirects included
constexpr size_t kHttpBodyLimit = 1u << 20;   // longest body read; a longer one fails
constexpr int kHttpReadChunkSize = 500000;
// Redirects followed before a request fails.
constexpr int kHttpMaxRedirects = 10;

// The longest requests the engine sends. A longer one fails before it is
// sealed or escaped: AUTHEN_E_FAIL, the network message under "DESCMSG".
// The parameter text of a datagram: the most that always fits one datagram
// once sealed and Base64-coded (checked where the engine seals).
constexpr size_t kLongestDatagramText = 1512;
// The URL of an HTTP request, query included.
constexpr size_t kLongestUrl = 8192;

// The machine identity texts (MAC and IP address) are read into buffers of
// this size.
constexpr size_t kIdentityBufferSize = 128;
// Longest challenge the e-key library accepts: its buffer holds 1024 bytes
// with the NUL.
constexpr size_t kMaxEkeyChallengeLength = 1023;

// Longest line a secret option of voka-auth reads from standard input: a
// secret is short, and an endless line must not cost memory.
constexpr size_t kLongestInputLine = 4096;

// The application and area a login names unless told otherwise.
constexpr char kDefaultAppId[] = "1";
constexpr char kDefaultAreaId[] = "1";
