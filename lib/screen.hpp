// Screening seeds by their first draw, with the model of the C library's
// generator: the seeds s whose first rand() after srand(s), modulo 4011,
// is a wanted round count. About one seed in 4011 passes for each count.
//
// One kernel per instruction set, chosen once at run time; all give the
// same seeds.
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
using screen_kernel = void (*)(uint32_t first, uint32_t count, const round_set &,
                               std::vector<uint32_t> &out);

struct screen_ops {
    const char *name;
    screen_kernel kernel;
};

const screen_ops &portable_screen();
// nullptr where this CPU or build has no AVX2.
const screen_ops *avx2_screen();
// The fastest kernel this CPU runs.
const screen_ops &best_screen();

// Any count seeds from first on, wrapping from 2^32 - 1 to 0 (count up to
// 2^32), split into pieces for the kernel.
void screen_seeds(const screen_ops &ops, uint32_t first, uint64_t count, const round_set &set,
                  std::vector<uint32_t> &out);

} // namespace gen
