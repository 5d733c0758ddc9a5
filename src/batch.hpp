// Whole-run evaluation: the same result as running the rounds one by one,
// at a cost that grows with the output instead of with rounds x elements.
//
// Pairs never exchange values and the draws never depend on them, so all
// draws are taken first (printing each round's progress line as before)
// and every pair is then evaluated on its own. Two pair steps in a row
// double both values, so a pair that no draw hits ends as 2^(R/2) times a
// small value derived from its two bytes; the decimal text of each such
// value is made once and copied. Only the pairs that are flipped (at most
// one per round) are computed as big integers.
#pragma once

#include <cstddef>

class out_file;

// Encodes bytes[0..n) over R rounds, as the step-by-step encoder does: the
// same rand() calls in the same order, the same progress lines, the same
// output file at path. bytes needs no room beyond n.
void encode_batched(const unsigned char *bytes, int n, int R, out_file &out);
void encode_batched(const unsigned char *bytes, int n, int R, const char *path);
