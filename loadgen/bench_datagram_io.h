// The socket calls of voka-auth bench's load client: waits to the
// microsecond and datagrams in batches where the platform allows.
#pragma once

#include <vector>

#include "voka/loadgen/load_schedule.h"
#include "voka/transport/socket_shim.h"
#include "voka/transport/udp_packet.h"

// Datagrams a batch call moves at most.
constexpr int kDatagramBatch = 32;

// Makes receives on the socket return at once when nothing is waiting.
bool MakeNonBlocking(socket_t socket);
// Waits until the socket is readable (1) or until (0); -1 when the wait failed.
int WaitReadableUntil(socket_t socket, BenchClock::time_point until);
// Sleeps until until, where the platform sleeps that briefly; else returns at once.
void NapUntil(BenchClock::time_point until);
// Sends each packet's m_nLength bytes on the connected socket; false when one failed.
bool SendDatagrams(socket_t socket, const std::vector<CUDPPacket>& packets, size_t count);
// Receives up to kDatagramBatch waiting datagrams into packets (m_nLength set,
// bytes as they came); how many, or -1 when the receive failed before any
// came (SocketLastError tells why; nothing waiting is a failure too).
// packets holds kDatagramBatch.
int ReceiveDatagrams(socket_t socket, std::vector<CUDPPacket>& packets);
