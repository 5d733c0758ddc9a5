// Searching the seconds for those whose run of gen gives a crypt's
// structure: its round count and the pair of every round's flip.
//
// The order is newest first: the seconds from `newest` back, wrapping from
// 0 to 2^32 - 1, for `span` seconds. Threads take chunks of that order;
// the result never depends on how many there are.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "structure.hpp"

namespace gen {

struct search_plan {
    uint32_t newest = 0;
    uint64_t span = 1ull << 32;
    int jobs = 1;
    // Stop at the first match in order, instead of counting every match.
    bool first_only = true;
    // Use the C library's srand()/rand() instead of the model (slow, one
    // thread): for a C library that the model does not describe.
    bool c_library = false;
};

struct search_result {
    struct per_reading {
        uint64_t seconds = 0;            // matches (all of them unless first_only)
        std::vector<uint32_t> earliest;  // the first few, in search order
    };
    std::vector<per_reading> readings;  // as in the structure
    bool found = false;
    uint32_t first = 0;   // the first match in search order
    int first_reading = -1;
    uint64_t tried = 0;   // seconds screened
};

// of[R]: the reading of the structure with R rounds, or -1.
std::vector<int> readings_by_rounds(const crypt_structure &st);

// The reading that second s makes a run of, or -1 if none: its round
// count and every flip, drawn with the model (or with the C library's
// own draws). of is readings_by_rounds(st).
int reading_of_second(const crypt_structure &st, const std::vector<int> &of, uint32_t s,
                      bool c_library);

// tick(tried, span) is called from the calling thread every so often.
search_result search_seconds(const crypt_structure &st, const search_plan &plan,
                             const std::function<void(uint64_t, uint64_t)> &tick);

} // namespace gen
