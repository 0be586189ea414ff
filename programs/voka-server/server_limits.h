// Every time-out, size limit and default of voka-server, each with the
// reason for its number. The code, its help text and the document checks
// read them here.
#pragma once

#include <chrono>
#include <cstddef>

// Dynamic keys. A key lives this long; the secret its MACs are made under
// changes as often, so that the keys of at most two secrets are alive at once.
constexpr auto kGuidLifetime = std::chrono::minutes(30);
constexpr auto kKeySecretPeriod = std::chrono::minutes(30);
// Servers sharing a key secret accept the keys of one whose clock is this far
// ahead of theirs.
constexpr auto kKeyClockSkew = std::chrono::minutes(1);

// Second factors. One asked for is answered within this, or the login starts over.
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

// HTTP connections. How long an accepted connection may take to send its
// request head, and the longest head read.
constexpr std::chrono::seconds kRequestDeadline{5};
constexpr size_t kLargestRequestHead = 8192;
// A first line that trickles in stays readable: it is looked at again this often.
constexpr int kPartialLineMilliseconds = 50;
// Connections waiting for their head, from one address and in all; one
// address cannot take the connections that others need.
constexpr size_t kWaitingPerAddress = 16;
constexpr size_t kMaxWaiting = 256;
constexpr unsigned kConnectionsPerAddress = 16;
constexpr unsigned kMaxConnections = 512;
// Connections cut off to make room stay with the library until its next
// round, so it may hold this many more than kMaxConnections.
constexpr unsigned kCutOffRoom = 64;
// Room for the largest head we read, so that we, not the library, answer 431.
constexpr size_t kConnectionMemory = 4 * kLargestRequestHead;

// UDP requests are received this many a system call, and at most this many
// batches at a wake-up, so that the HTTP side runs under a flood too.
constexpr int kDatagramsPerCall = 32;
constexpr int kBatchesPerWakeUp = 2;

// The slow-body fault's delay unless --slow-seconds says otherwise: past the
// engine's silence time-out. An hour is past any client's patience; a longer
// delay only holds a connection.
constexpr int kDefaultSlowSeconds = 8;
constexpr int kLongestSlowSeconds = 3600;

// The longest PROXY protocol header read from a trusted proxy: v1 is at most
// 107 bytes; v2 carries 16 bytes and the addresses (at most 216), with
// optional extensions past them that are not waited for.
constexpr size_t kLargestProxyHeader = 512;
