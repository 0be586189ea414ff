// Every time-out, size limit and default of the component and its programs,
// each with the reason for its number. The code, the programs' help texts
// and the document checks read them here: <voka/limits.h>.
#pragma once

#include <chrono>
#include <climits>
#include <cstddef>

// Endpoints. The defaults of voka-auth and voka-server: both ends on the
// loopback interface unless told otherwise.
constexpr char kDefaultHost[] = "127.0.0.1";
// The challenge server's port when "host[:port]" names none.
constexpr int kDefaultUdpPort = 8025;
// voka-server's validation service, and voka-auth's default base URL.
constexpr int kDefaultHttpPort = 8080;

// The ANSI code page of the engine's byte strings on the target systems
// (Simplified Chinese); VOKA_CODEPAGE or --codepage choose another on Linux.
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

// voka-server, the reference account server.
// A dynamic key lives this long, and the store holds this many, at most this
// many from one address.
constexpr auto kGuidLifetime = std::chrono::minutes(30);
constexpr size_t kMaxGuids = 100000;
constexpr size_t kMaxGuidsPerSource = 1000;
// A key this young is never given up to make room: long enough for a client
// to send its login with the key it was just given.
constexpr auto kYoungestGivenUp = std::chrono::seconds(10);
// A second factor asked for is answered within this, or the login starts over.
constexpr auto kPendingLifetime = std::chrono::minutes(5);
// Logins of one account that may wait for their second factor at once (a
// user on several machines, a test's parallel logins); a login past them
// pushes out the account's oldest.
constexpr size_t kPendingFactorsPerAccount = 8;
// Enough for typing errors, too few for guessing a six-digit response or a
// card cell; then the account's second factor waits.
constexpr int kWrongFactorAnswersBeforeLock = 5;
constexpr auto kFactorLockTime = std::chrono::minutes(5);
// Guessing passwords from one address costs a minute per handful; the owner
// logging in from elsewhere is not held up.
constexpr int kWrongPasswordsBeforeWait = 5;
constexpr auto kWrongPasswordWindow = std::chrono::minutes(1);
constexpr auto kPasswordWait = std::chrono::minutes(1);
// The addresses whose wrong passwords are counted at once.
constexpr size_t kMaxPasswordGuards = 100000;
// How long an accepted connection may take to send its request head, and
// the longest head read.
constexpr std::chrono::seconds kRequestDeadline{5};
constexpr size_t kLargestRequestHead = 8192;
// Connections waiting for their head, from one address and in all; one
// address cannot take the connections that others need.
constexpr size_t kWaitingPerAddress = 16;
constexpr size_t kMaxWaiting = 256;
constexpr unsigned kConnectionsPerAddress = 16;
constexpr unsigned kMaxConnections = 512;
