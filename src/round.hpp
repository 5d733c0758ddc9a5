// One scrambling round over the element sequence.
#pragma once

#include "bi.hpp"

// Pads an odd sequence with a 0 (cfile needs room for n + 1 elements), turns
// every pair (a, b) into (a + b, a - b), then takes one rand() draw r and
// flips bit 0 of element (r % n) | 1. An empty sequence still takes the draw
// but has nothing to flip.
void scramble(bi *cfile, int &n);
