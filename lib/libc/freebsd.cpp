// FreeBSD 13 and later: rand() keeps 31 words of its own, stepped as
// glibc's are, but seeded differently: w0 = s, then w_i = g(w_(i-1)) with
// g(x) = (16807 ((x mod 0x7ffffffe) + 1) mod (2^31 - 1)) - 1; then 310
// outputs are discarded.
//
// With u = (s mod 0x7ffffffe) + 1 the words w_i + 1 (i >= 1) walk the
// orbit of 16807 from u on, so the orbit walk screens it too: the seed
// u - 1 and its twin u - 1 + 0x7ffffffe share the words from w1 on, and
// each window's sum is glibc's less the sum of the coefficients (every
// word is one less). The seeds 2^32 - 4 to 2^32 - 1 (u from 1 to 4 a third
// time) are on no window.
#include "family.hpp"
#include "rand_model.hpp"

namespace gen {

namespace {

constexpr uint32_t fold = 0x7ffffffeu;

void words_of(uint32_t s, uint32_t w[31])
{
    w[0] = s;
    uint32_t x = s % fold + 1;
    for (int i = 1; i < 31; ++i) {
        x = rand_model::orbit_next(x);
        w[i] = x - 1;
    }
}

void freebsd_seed(rand_state &st, uint32_t s)
{
    words_of(s, st.r);
    additive_start(st);
}

void freebsd_early(uint32_t s, int *out, int count)
{
    uint32_t w[31];
    words_of(s, w);
    additive_early(w, out, count);
}

const orbit_form &form()
{
    static const orbit_form f = make_orbit_form(0u - 1, fold);
    return f;
}

const orbit_place place{form, {0xfffffffcu, 0xfffffffdu, 0xfffffffeu, 0xffffffffu}};

} // namespace

extern const family freebsd{"freebsd",
                     "FreeBSD 13 and later",
                     "FreeBSD's rand()",
                     2147483647u,
                     freebsd_seed,
                     additive_next,
                     freebsd_early,
                     nullptr,
                     orbit_units,
                     {"portable", seeds_by_early_draw, orbit_whole_portable, orbit_walk_portable},
                     orbit_avx2_kernels<seeds_by_early_draw>,
                     orbit_avx512_kernels<seeds_by_early_draw>,
                     nullptr,
                     nullptr,
                     &place};

} // namespace gen
