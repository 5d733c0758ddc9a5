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
// Every depth at which all values are bytes is a possible round count.
// Crypts of ten bytes or more have one in practice; tiny ones can have
// several, which only the second tells apart.
#pragma once

#include <vector>

#include "decode.hpp"
#include "numbers.hpp"

namespace gen {

struct crypt_structure {
    struct reading {
        int rounds;
        std::vector<unsigned char> bytes;  // one per number, a possible padding 0 included
    };
    int count = 0;                  // numbers
    std::vector<int> flipped;       // flipped[t]: the pair out of parity t rounds before the end
    std::vector<reading> readings;  // by round count; empty: inconsistent

    // The pair that round j of a run of R rounds flipped.
    int flip(int R, int j) const { return flipped[static_cast<size_t>(R - 1 - j)]; }
    // The flips of a run of R rounds, by pair then round.
    flip_list flips(int R) const;
};

crypt_structure read_structure(const crypt_numbers &numbers);

} // namespace gen
