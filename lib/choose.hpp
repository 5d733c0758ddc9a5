// Choosing among the readings of a crypt: which result its seconds
// support, if one alone is.
//
// Bytes are written only when one result is supported: either exactly
// one result verifies over the whole range, or one result alone is made
// in the part of the range searched (the day before the newest second
// first, or the window a caller gave) and chance alone would make that
// reading there less than once in 2^32 such ranges (a reading with few
// flips is made by chance several times a day, and then its match says
// nothing). Otherwise the crypt is ambiguous, and the candidates are
// listed.
#pragma once

#include <cstdint>
#include <vector>

#include "gen/gen.hpp"
#include "numbers.hpp"
#include "search.hpp"
#include "structure.hpp"

namespace gen {

struct choice {
    enum { found, none, ambiguous } kind = none;
    int reading = -1;          // found: the reading of the first match
    uint32_t second = 0;       // ... its second
    const family *by = nullptr;  // ... and the family whose draws make it
    bool by_window = false;    // found by the rule of the range before newest
    uint64_t within = 0;       // by_window: the seconds of that range
    search_result counted;     // ambiguous, by_window: the matches counted
    bool list_all = false;     // ambiguous: the results no second made too
};

// Searches the seconds of plan for st's readings and applies the rule,
// over (family, second) pairs: with glibc's draws first, if glibc is
// among the plan's families, and with the others only where glibc's make
// none.
choice choose(const crypt_structure &st, const search_plan &plan, const search_tick &tick);

// The results of st as candidates: those with matches in counted (all of
// them if counted is null or list_all), with their round counts, lengths
// and first bytes, text first; except skip (a result index, or -1).
std::vector<candidate> candidates_of(const crypt_numbers &numbers, const crypt_structure &st,
                                     const search_result *counted, bool keep_zero, int skip,
                                     bool list_all = false);

// Whether any of the 2^32 seconds of the plan's families has a chance
// above 2^-64 of giving a run of R rounds with given flips on count
// numbers, other than the one that made the crypt: each flip names one of
// count / 2 pairs (fewer where a family's draws are short).
bool possible_by_chance(int R, int count, const search_plan &plan);

} // namespace gen
