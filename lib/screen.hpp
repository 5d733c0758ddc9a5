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

#include <cstddef>
#include <cstdint>
#include <vector>

#include "rules.hpp"

namespace gen {

// a^-1 mod 2^32 for odd a, by Newton's iteration (each step doubles the
// bits).
constexpr uint32_t inverse_mod_2_32(uint32_t a)
{
    uint32_t x = a;
    for (int i = 0; i < 5; ++i)
        x *= 2 - a * x;
    return x;
}

struct round_set {
    uint32_t member[4011] = {};  // nonzero for the wanted counts
    int listed[4011] = {};       // the wanted counts, in the order added
    int count = 0;
    // A set so wide that the first draw lets many seeds through is
    // screened by the next draws too, which name the pairs of the first
    // flips: want[k][R] is the pair plus one that draw k + 1 must name for
    // a run of R rounds, or -1 where any will do (R <= k); pairs among
    // `numbers`. The vector kernels test the first flips side by side, and
    // the seeds that pass those the rest one at a time: the seeds that pass
    // are the same either way. Those that make a later draw only while
    // some lane passes test `dense` (as many as are packed below, at most
    // vector_flips); those that make every draw of a step, `eager` (at
    // most eager_flips), as many as keep their work least.
    static constexpr int most_flips = 31, vector_flips = 15, eager_flips = 7;
    int flips = 0, dense = 0, eager = 0;
    int numbers = 0;
    std::vector<std::vector<int>> want;
    // The same packed for one load per count: bit 31 of packed[R] is
    // member[R], the pack_bits bits from k pack_bits on hold want[k][R]
    // for k below packed_flips (0 where any will do).
    int pack_bits = 0, packed_flips = 0;
    uint32_t packed[4011] = {};

    void add(int R);
    // Screens by draws 1 to flips too (at most most_flips), for a crypt
    // of n numbers, the eager kernels by the first `eager` of them side by
    // side: call before adding.
    void screen_flips(int flips, int n, int eager = eager_flips);
    // Adds R, whose run flips pair_of(k) in round k.
    template <class PairOf>
    void add(int R, PairOf pair_of)
    {
        add(R);
        for (int k = 0; k < flips && k < R; ++k) {
            int w = pair_of(k) + 1;
            want[static_cast<std::size_t>(k)][static_cast<std::size_t>(R)] = w;
            if (k < packed_flips)
                packed[R] |= static_cast<uint32_t>(w) << (k * pack_bits);
        }
    }
    // Whether draws from + 1 to flips pass, of a seed whose first draw
    // gave R (in the set); draw(k) gives draw k, asked for only as long as
    // they do.
    template <class Draw>
    bool later_pass(std::size_t R, int from, Draw draw) const
    {
        for (int k = from; k < flips; ++k) {
            int w = want[static_cast<std::size_t>(k)][R];
            if (w > 0 && w != flipped_pair(static_cast<int>(draw(k + 1)), numbers) + 1)
                return false;
        }
        return true;
    }
    // Whether the draws pass: d0 the first, draw(k) draw k, asked for
    // only as long as they do.
    template <class Draw>
    bool passes_by(uint32_t d0, Draw draw) const
    {
        return member[d0 % 4011] && later_pass(d0 % 4011, 0, draw);
    }
    // Whether the first 1 + flips draws d pass.
    bool passes(const uint32_t *d) const
    {
        return passes_by(d[0], [&](int k) { return d[k]; });
    }
};

// Appends every seed s of [first, first + count) whose first draw is in
// the set, in increasing order. The seeds lie on one side of 2^31, and
// do not include 0.
using seed_kernel = void (*)(uint32_t first, uint32_t count, const round_set &,
                             std::vector<uint32_t> &out);

// How a generator with glibc's 31 words sits on the orbit: the seeds of
// window k (words x_k .. x_(k+30)) and what their first-draw sums add to
// the window's sum of c_i x_(k+i).
struct orbit_form {
    uint32_t lower_add;  // the first seed is x_k + lower_add
    uint32_t up_add;     // the second seed is x_k + up_add
    // For the sum of draw k: added for both seeds, and for the second too.
    uint32_t sum_add[round_set::most_flips + 1], up_delta[round_set::most_flips + 1];
};
// The form of a generator whose words are the window's plus word_add,
// with twin_w0 added to the first word for the second seed.
orbit_form make_orbit_form(uint32_t word_add, uint32_t twin_w0);
// glibc: x_k itself and its twin x_k + 2^31 + 1.
const orbit_form &glibc_orbit();

// The most generators one orbit walk screens at once: those whose words
// are the same window's, up to a constant (glibc's and FreeBSD 13's), share
// the window's sums, which are most of the walk's cost.
constexpr int most_forms = 2;

// Appends to out[i] every seed of forms[i] whose first draw is in the set
// among the two that each orbit window k of [first, first + count) holds
// (first + count at most rand_model::orbit_length). Eight stretches of the
// range are walked side by side; the order of each form's seeds depends on
// first and count only, not on the other forms walked.
using orbit_kernel = void (*)(const orbit_form *forms, int nforms, uint64_t first, uint64_t count,
                              const round_set &, std::vector<uint32_t> *out);

struct screen_ops {
    const char *name;
    seed_kernel seeds;
    orbit_kernel orbit;
};

const screen_ops &portable_screen();
// nullptr where this CPU or build has no AVX2.
const screen_ops *avx2_screen();
// nullptr where it has no AVX-512F: AVX2's screen by seed, and an orbit
// walk of sixteen lanes for sets screened by the first draw alone.
const screen_ops *avx512_screen();
// nullptr where it has no AVX-512 VNNI: the AVX-512 kernels, with the later
// draws of a set whose pairs are a power of two up to 64 made from the
// words' low bytes.
const screen_ops *avx512_vnni_screen();
// The fastest kernels this CPU runs.
const screen_ops &best_screen();

// Any count seeds from first on, wrapping from 2^32 - 1 to 0 (count up to
// 2^32), split into pieces for the kernel.
void screen_seeds(const screen_ops &ops, uint32_t first, uint64_t count, const round_set &set,
                  std::vector<uint32_t> &out);


} // namespace gen
