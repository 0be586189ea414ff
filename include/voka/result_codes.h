// Every result code of the component, by the layer that returns it. The
// numbers are part of the contract with hosts, servers and logs: they are
// never renumbered.
#pragma once

#include "voka/result_code_numbers.h"

// The transport's. CUDPPacket::Pack and Unpack, CUDPServer::SetServerParam,
// SetRecvParam and SendToServer, and HttpGet return 0 for done and 1 for
// refused or failed. CUDPServer::SendPacket returns the bytes sent or one of:
constexpr int kUdpSendFailed = -1;  // no socket, or the send failed
constexpr int kUdpNoAddress = -2;   // no destination address
constexpr int kUdpBadPort = -3;     // port 0 or negative
// CUDPServer::RecvPacket returns 0 or one of:
constexpr int kUdpRecvTimeOut = 768;  // nothing within the time-out, or the wait failed
constexpr int kUdpRecvFailed = 769;   // the receive failed
constexpr int kUdpRecvTooLong = 770;  // the datagram is too long; it stays unread

// The exchange's: why one UDP round trip failed. They never reach the host,
// which sees AUTHEN_E_FAIL with the network message under "DESCMSG".
constexpr int kPayloadTooLong = 1003;  // the sealed text does not fit a datagram
constexpr int kSendFailed = 1004;
constexpr int kBadAnswerHeader = 1005;  // the answer cannot hold a header
constexpr int kNoAnswer = 2001;
constexpr int kReceiveFailed = 2002;
constexpr int kAnswerTooLong = 2003;

// The engine's, returned by every request method to the host, beside the
// server's own RETVALUE. docs/com-api.md explains each code a host receives.
constexpr int AUTHEN_S_OK = VOKA_OK;              // done: Initialize, or a request the server answered RETVALUE 0
constexpr int AUTHEN_E_FAIL = VOKA_E_FAIL;        // the request failed; the engine's DESCMSG says why
constexpr int AUTHEN_E_EKEYPWD = VOKA_E_EKEYPWD;  // the USB token gave no password

// GetValue's.
constexpr int kValueFound = VOKA_OK;
constexpr int kValueAbsent = VOKA_VALUE_ABSENT;
constexpr int kValueTooLong = VOKA_VALUE_TOO_LONG;  // value and NUL do not fit the caller's buffer
