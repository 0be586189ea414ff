// voka-auth check: each step a login takes, tried on the login's own engine
// and transports, and told line by line for whoever sits at the machine
// where a login fails.
#pragma once

#include <chrono>
#include <ostream>

#include "voka-auth/auth_options.h"
#include "voka-auth/wait_notice.h"
#include "voka/client_authen.h"

// Sends the dynamic-key request over UDP, then over HTTP, each alone (never
// a password), reports the machine identity a login sends, and ends with the
// verdict: the transport a login would use now, or why none works.
// engine is initialized with the options' endpoints, which took
// resolveTime (the UDP name's look-up); notice hears every exchange.
// UDP works but its HTTP fallback does not: a login fails whenever UDP does.
constexpr int kExitFallbackBroken = 3;

// kExitSuccess when a login can reach a server, kExitFallbackBroken when it
// can over UDP alone, else kExitCommandFailed.
int RunConnectionCheck(CClientAuthen& engine, std::chrono::milliseconds resolveTime, CWaitNotice& notice,
                       const AuthOptions& options, std::ostream& out);
