// The encoder's steps between reading "flag" and writing "crypt".
#pragma once

#include "bi.hpp"

// Upper bound on the number of input bytes that are encoded.
constexpr int input_limit = 999999999;

// Draws the round count: the first rand() draw of a run, modulo 4011.
int draw_rounds();

// An element array with one element per byte of bytes[0..n) and room for
// the padding element. Dies with "PROGRAM: out of memory" if it cannot
// be allocated.
bi *build_elements(const unsigned char *bytes, int n);

// Releases the n live elements and the array.
void free_elements(bi *cfile, int n);

// Runs R rounds on cfile, printing "j/R" before round j.
void run_rounds(bi *cfile, int &n, int R);

// Work (bytes x (rounds + 1)) above which the whole-run evaluation wins.
constexpr long long batched_threshold = 1000;

// Whether an encoding of n bytes over R rounds is cheaper evaluated as a
// whole (encode_batched) than round by round. Both give the same result.
bool prefer_batched(int n, int R);
