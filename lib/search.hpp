// Searching the seconds for those whose run of gen gives a crypt's
// structure: its round count and the pair of every round's flip, with
// the draws of one or more C libraries' rand() (families).
//
// The search order is newest first: the seconds from `newest` back,
// wrapping from 0 to 2^32 - 1, for `span` seconds; the rank of a second is
// its place in that order, and of two families at the same second the
// one listed first comes first. Two ways to go through them:
// - in order, chunk by chunk, screening seed by seed: for the day before
//   newest and short ranges, stopping at the first match;
// - by units, screening the whole range at once in each family's own
//   order (glibc's along its orbit), which is several times faster than
//   seed by seed, and keeping the matches of the range.
// Threads share the work; results never depend on how many there are.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "libc/family.hpp"
#include "structure.hpp"

namespace gen {

struct shared_walk;

struct search_plan {
    uint32_t newest = 0;
    uint64_t span = 1ull << 32;
    int jobs = 1;
    std::vector<const family *> families{&glibc_family()};
    // Shared with a later plan of the same range, or null.
    shared_walk *shared = nullptr;
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
    // matches[f][r]: the matches of reading r with family f of the plan.
    std::vector<std::vector<reading_matches>> matches;

    struct match {
        int family = -1, reading = -1;  // -1: none
        uint64_t rank = UINT64_MAX;
    };
    // The first match in search order.
    match first() const;
    bool found() const { return first().family >= 0; }
    // The matches of reading r with any family.
    reading_matches of_reading(size_t r) const;
    void merge(const search_result &o);
};

// Families whose whole ranges are one walk (glibc's orbit, which FreeBSD
// 13's words walk too) cost little more walked together than one alone:
// the first plan that walks the range by units screens these riders along
// and keeps their matches here, for a later plan of the same range that
// searches them (glibc's plan goes first, the others' only if it finds
// nothing, and would otherwise walk the orbit a second time).
struct shared_walk {
    std::vector<const family *> riders;
    // The riders walked, and the matches of each by reading.
    std::vector<const family *> walked;
    std::vector<std::vector<reading_matches>> matches;
};

// tick(done, total) is called from the calling thread every so often.
using search_tick = std::function<void(uint64_t done, uint64_t total)>;

// Ranks [from, to) in order. With first_only it stops at the first match,
// and the counts are those of the chunks it went through.
search_result search_in_order(const crypt_structure &st, const search_plan &plan, uint64_t from,
                              uint64_t to, bool first_only, const search_tick &tick);

// Every match in the range, by units.
search_result search_by_units(const crypt_structure &st, const search_plan &plan,
                              const search_tick &tick);

// The seconds of the day before newest, newest itself included (or the
// whole span, if shorter): searched in order first, as where most crypts
// were made.
constexpr uint64_t day_window = first_window + 1;

// The first match in search order (first_only), or every match of the
// range: the day before newest in order, then the rest by units (or in
// order, for glibc alone on a short range).
search_result search_seconds(const crypt_structure &st, const search_plan &plan, bool first_only,
                             const search_tick &tick);

// of[R]: the reading of the structure with R rounds, or -1.
std::vector<int> readings_by_rounds(const crypt_structure &st);

// The reading that family f's draws after srand(s) make a run of, or -1
// if none: its round count and every flip. of is readings_by_rounds(st).
int reading_of_second(const crypt_structure &st, const std::vector<int> &of, const family &f,
                      uint32_t s);

} // namespace gen
