// What voka-auth asks of the operating system about its own process.
#pragma once

#include <string>
#include <vector>

// Turns core dumps off for the rest of the process's life, since a core
// would hold the passwords and the token's secret; false when refused.
bool KeepSecretsOutOfCoreDumps();

// Whether standard error, or output, is a terminal, where a person reads it as it comes.
bool StandardErrorIsTerminal();
bool StandardOutputIsTerminal();

// The words after the program's name, in UTF-8.
std::vector<std::string> CommandLineWords(int argc, char** argv);

// Standard output and error carry UTF-8 bytes as they are written, and a
// console shows them as UTF-8 when it can.
void PrepareTextOutput();
