#pragma once
// The one place that tells WinSock from POSIX sockets: the socket type, close,
// last error, the waiting-datagram size and the readiness wait.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using socket_t = SOCKET;
constexpr socket_t kInvalidSocket = INVALID_SOCKET;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
using socket_t = int;
constexpr socket_t kInvalidSocket = -1;
#endif

// Starts the platform's socket library (WinSock 2.2; nothing on POSIX).
// Calls nest: each successful start needs one stop.
bool StartSocketLibrary();
void StopSocketLibrary();

int CloseSocket(socket_t socket);
// Ends both directions, waking any thread blocked on the socket.
int ShutdownSocket(socket_t socket);
int SocketLastError();
void SetSocketLastError(int code);
int SocketErrorMessageTooLong();
int SocketErrorAddressNotAvailable();

// Has the system report an unreachable destination (an ICMP error) on an
// unconnected datagram socket, as a failed wait or receive, without
// connecting it: answers from any address stay accepted. WinSock does so
// unasked.
void ReportUnreachableDestination(socket_t socket);
// The failure cause (voka/failure_cause.h) of a wait or receive that failed
// with error.
int CauseOfReceiveError(int error);

// Size in bytes of the first datagram waiting on a datagram socket, so that
// both platforms answer alike (WinSock may count every queued datagram).
// False when the query fails.
bool PendingDatagramSize(socket_t socket, unsigned long* size);

// Waits up to timeoutMs milliseconds for the socket to become readable.
// 1: readable; 0: time-out; -1: the wait failed (a negative time-out too;
// an error reported on the socket, which is then the last error).
// The last error is cleared first, so a time-out leaves it 0.
int WaitReadable(socket_t socket, int timeoutMs);
// Milliseconds of a clock that never goes back, for measuring waits. (The
// DLL reads the system's tick count: the C++ library's steady clock would
// bring in the threads library's timers.)
unsigned long long MonotonicMilliseconds();

int SendDatagram(socket_t socket, const void* data, int length, const sockaddr_in& to);
int ReceiveDatagram(socket_t socket, void* buffer, int capacity, sockaddr_in* from);
