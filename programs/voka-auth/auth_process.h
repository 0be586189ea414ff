// What voka-auth asks of the operating system about its own process.
#pragma once

// Turns core dumps off for the rest of the process's life, since a core
// would hold the passwords and the token's secret; false when refused.
bool KeepSecretsOutOfCoreDumps();

// Whether standard error is a terminal, where a person reads it as it comes.
bool StandardErrorIsTerminal();
