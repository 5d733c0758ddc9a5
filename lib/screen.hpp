// Screening seeds by their first draw, with the model of the C library's
// generator: the seeds s whose first rand() after srand(s), modulo 4011,
// is a wanted round count. About one seed in 4011 passes for each count.
//
// Two ways to walk the seeds, one kernel each per instruction set, chosen
// once at run time; every instruction set gives the same seeds in the
// same order:
// - by seed, for a stretch of seconds in search order: each seed's 31
//   words are the last one's plus a constant;
// - by orbit, for the whole range: the orbit of 16807 mod 2^31 - 1 is
//   walked once, each step making one new word and screening one window
//   of 31 words, which is two seeds (a seed below 2^31 and its twin above).
#pragma once

#include <cstdint>
#include <vector>

namespace gen {

struct round_set {
    uint32_t member[4011] = {};  // nonzero for the wanted counts
    int listed[4] = {};          // the wanted counts, when there are at most four
    int count = 0;

    void add(int R);
};

// Appends every seed s of [first, first + count) whose first draw is in
// the set, in increasing order. The seeds lie on one side of 2^31, and
// do not include 0.
using seed_kernel = void (*)(uint32_t first, uint32_t count, const round_set &,
                             std::vector<uint32_t> &out);

// Appends every seed whose first draw is in the set among the two that
// each orbit window k of [first, first + count) holds: x_k and its twin
// x_k + 2^31 + 1 (first + count at most rand_model::orbit_length). Eight
// stretches of the range are walked side by side; the order of the seeds
// depends on first and count only.
using orbit_kernel = void (*)(uint64_t first, uint64_t count, const round_set &,
                              std::vector<uint32_t> &out);

struct screen_ops {
    const char *name;
    seed_kernel seeds;
    orbit_kernel orbit;
};

const screen_ops &portable_screen();
// nullptr where this CPU or build has no AVX2.
const screen_ops *avx2_screen();
// The fastest kernels this CPU runs.
const screen_ops &best_screen();

// Any count seeds from first on, wrapping from 2^32 - 1 to 0 (count up to
// 2^32), split into pieces for the kernel.
void screen_seeds(const screen_ops &ops, uint32_t first, uint64_t count, const round_set &set,
                  std::vector<uint32_t> &out);

// Appends those of the seeds that no orbit window holds (rand_model::
// odd_seeds) whose first draw is in the set, one at a time.
void screen_odd_seeds(const round_set &set, std::vector<uint32_t> &out);

} // namespace gen
