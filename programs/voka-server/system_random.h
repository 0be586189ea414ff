// Draws from the operating system's generator (getrandom, a block at a time), whose state no
// answer of the server reveals: dynamic keys, e-key challenges and card
// positions cannot be predicted from the ones seen before.
#pragma once

#include <cstdint>

uint64_t SystemRandom64();
// Uniform in [0, bound); bound > 0.
uint64_t SystemRandomBelow(uint64_t bound);
