#include "transport/udp_log.h"

std::string UdpLogPath() { return "c:\\TevUdpServer.log"; }
