// Reading a crypt from its structure alone, without the second.
//
// After the flip of any round exactly one pair is out of parity (its two
// values differ mod 2): the pair that round flipped. So rounds can be
// undone from the end while exactly one pair is out of parity. Pair by
// pair this is cheap: between flips a pair only doubles, so the depth at
// which a pair next goes out of parity follows from the 2-adic valuations
// of its two values (equal valuations v: 2v + 1 rounds further back;
// unequal: 2 min(v1, v2)).
//
// Every depth at which all values are bytes is a reading: a possible
// round count. Random bytes have one in practice; text also reads as fewer
// rounds of doubled bytes, and tiny crypts can have several readings, which
// only the second tells apart. Readings are kept as depths, each with the
// result it gives (readings of the same bytes share one), so memory does
// not grow with their number: a reading's bytes are decoded when needed.
#pragma once

#include <vector>

#include "decode.hpp"
#include "numbers.hpp"

namespace gen {

struct crypt_structure {
    struct reading {
        int rounds;
        int result;  // index into results
    };
    struct result {
        int rounds;          // its first reading's round count
        bool text;           // its bytes look like text (a final 0 aside)
        bool ends_in_zero;   // its last byte is 0
    };
    int count = 0;                  // numbers
    std::vector<int> flipped;       // flipped[t]: the pair out of parity t rounds before the end
    std::vector<reading> readings;  // by round count; empty: inconsistent
    std::vector<result> results;    // distinct byte strings, in the order first read

    // The pair that round j of a run of R rounds flipped.
    int flip(int R, int j) const { return flipped[static_cast<size_t>(R - 1 - j)]; }
    // The flips of a run of R rounds, by pair then round.
    flip_list flips(int R) const;
};

// The structure of a crypt. Results are the byte strings the readings
// write: a reading of no rounds keeps a final 0 byte that a reading of
// some rounds drops as gen's padding (unless keep_zero), so the two are
// different results even where they undo to the same bytes.
crypt_structure read_structure(const crypt_numbers &numbers, bool keep_zero = false);

// The bytes of a reading with R rounds into out (one per number, a
// possible padding 0 included).
bool decode_reading(const crypt_numbers &numbers, const crypt_structure &st, int R,
                    std::vector<unsigned char> &out);

// Whether bytes look like text: UTF-8 without control characters other
// than tab, newline, vertical tab, form feed and carriage return.
bool looks_like_text(const unsigned char *bytes, size_t n);

} // namespace gen
