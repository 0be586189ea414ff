#pragma once
// The diagnostic log "TevUdpServer.log" of the UDP client: one line per send
// and two per receive time-out. Windows: c:\TevUdpServer.log. Linux:
// $VOKA_UDP_LOG if set, else $TMPDIR/TevUdpServer.log (TMPDIR default /tmp).

#include <string>

#include "voka/limits.h"

std::string UdpLogPath();

// Appends lines to the file at path in one write, after truncating a file
// that has grown past kUdpLogRestartSize. On Linux only a regular file of the
// process's own user with no other hard link, opened without following a
// symbolic link, is written to.
bool WriteUdpLogFile(const std::string& path, const std::string& lines);

// printf-style formatting of one line, cut at kUdpLogLineMax characters.
std::string FormatUdpLogLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Appends one group of lines at the end of the log in one write, after
// restarting a file that has grown past kUdpLogRestartSize. Groups of
// different threads never interleave. False when the file cannot be opened.
bool AppendUdpLog(const std::string& lines);
