// The server secret that dynamic keys are made under: drawn at start, or
// kept in a file so that keys outlive a restart and servers sharing the
// file accept each other's keys.
#pragma once

#include <string>

#include "voka-server/dynamic_keys.h"

// 0 with a secret fresh from the system's generator.
int NewKeySecret(KeySecret& secret, std::string& error);
// 0 with the secret in path, made (32 random bytes, mode 0600) when there is
// no such file; otherwise non-zero and an error naming the file: not a
// regular file, readable by others than its owner, or not 32 bytes long.
int LoadKeySecret(const std::string& path, KeySecret& secret, std::string& error);
