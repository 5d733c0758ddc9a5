// Searching the seconds for those whose run of gen gives a crypt's
// structure: its round count and the pair of every round's flip.
//
// The search order is newest first: the seconds from `newest` back,
// wrapping from 0 to 2^32 - 1, for `span` seconds; the rank of a second is
// its place in that order. Two ways to go through them:
// - in order, chunk by chunk, screening seed by seed: for the day before
//   newest and short ranges, stopping at the first match;
// - by orbit, screening the whole range at once in the generator's own
//   order, which is several times faster than seed by seed, and keeping
//   the matches of the range.
// Threads share the work; results never depend on how many there are.
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
    // Use the C library's srand()/rand() instead of the model (slow, one
    // thread, in order only): for a C library the model does not describe.
    bool c_library = false;
};

// The matches of one reading in the part of the range searched.
struct reading_matches {
    static constexpr size_t kept = 5;

    uint64_t seconds = 0;         // how many
    std::vector<uint64_t> ranks;  // the first few in search order, by rank
    uint32_t nearest = 0;         // the one nearest to newest, before or after it
    uint64_t nearest_distance = UINT64_MAX, nearest_rank = UINT64_MAX;

    void add(uint32_t s, uint64_t rank);
    void merge(const reading_matches &o);

private:
    void take_nearest(uint64_t distance, uint64_t rank, uint32_t s);
};

struct search_result {
    std::vector<reading_matches> readings;  // as in the structure

    bool found() const { return first_reading() >= 0; }
    // The reading of the first match in search order, or -1.
    int first_reading() const;
    // That match's second.
    uint32_t first(uint32_t newest) const;
    void merge(const search_result &o);
};

// tick(done, total) is called from the calling thread every so often.
using search_tick = std::function<void(uint64_t done, uint64_t total)>;

// Ranks [from, to) in order. With first_only it stops at the first match,
// and the counts are those of the chunks it went through.
search_result search_in_order(const crypt_structure &st, const search_plan &plan, uint64_t from,
                              uint64_t to, bool first_only, const search_tick &tick);

// Every match in the range, by orbit (the model only).
search_result search_by_orbit(const crypt_structure &st, const search_plan &plan,
                              const search_tick &tick);

// The seconds of the day before newest, newest itself included (or the
// whole span, if shorter): searched in order first, as where most crypts
// were made.
constexpr uint64_t day_window = first_window + 1;

// The first match in search order (first_only), or every match of the
// range: the day before newest in order, then the rest by orbit (or in
// order, for a short range or the C library).
search_result search_seconds(const crypt_structure &st, const search_plan &plan, bool first_only,
                             const search_tick &tick);

// of[R]: the reading of the structure with R rounds, or -1.
std::vector<int> readings_by_rounds(const crypt_structure &st);

// The reading that second s makes a run of, or -1 if none: its round
// count and every flip, drawn with the model (or with the C library's
// own draws). of is readings_by_rounds(st).
int reading_of_second(const crypt_structure &st, const std::vector<int> &of, uint32_t s,
                      bool c_library);

} // namespace gen
