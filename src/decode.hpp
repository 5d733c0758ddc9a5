// Restoring the input of gen from its crypt and the second gen started at.
//
// After each round's pair step both values of every pair have the same
// parity, and the round's flip breaks that in the one pair its draw names.
// With the generator seeded as gen seeded it, the flip schedule is known,
// so every pair can be undone on its own: a pair that no round flips must
// be 2^(R/2) times a small value (and decodes by a table look-up), a
// flipped pair is undone flip by flip. Every division must be exact and
// every byte must come out from 0 to 255, so the bytes found encode back
// to exactly the crypt: anything else is rejected, never decoded wrongly.
#pragma once

#include <cstdint>
#include <vector>

// What a crypt shows without knowing the second, read in one pass that also
// checks its format (throws bad_crypt, read_error).
struct crypt_summary {
    uint64_t count = 0;           // numbers
    uint64_t longest = 0;         // most digits in one number
    uint64_t odd_pairs = 0;       // pairs whose two values differ in parity
    uint64_t odd_pair = 0;        // the last of those, counted from the file's start
    bool all_bytes = true;        // every number from 0 to 255
};
crypt_summary summarize(int fd);

// Whether the run of second t can have written a crypt with this summary:
// a cheap test that rejects almost every wrong second.
bool may_match(const crypt_summary &s, long t);

// Decodes the crypt read from fd as written by gen started at second t.
// Returns false if it does not verify. A final 0 byte that may be the
// padding element is dropped unless keep_zero. Throws bad_crypt, read_error.
bool decode_at(int fd, long t, bool keep_zero, std::vector<unsigned char> &out);
