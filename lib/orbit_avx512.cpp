// The orbit walk in AVX-512, for sets screened by the first draw alone:
// the AVX2 kernel's eight stretches, with two windows in each vector
// (lanes 0 to 7 window n of each stretch, lanes 8 to 15 window n + 1), so
// that X(m), the vector of windows' words m and m + 1, is two rows of the
// AVX2 kernel's buffer read as one. Four windows a step: with D(m) =
// X(m) - X(m + 2), each pair of taps (a, b) two apart gives windows n, n + 1
// and n + 2, n + 3 as a X(j) + b X(j + 2) = (a + b) X(j + 2) + a D(j) and
// a X(j + 2) + b X(j + 4) = (a + b) X(j + 2) - b D(j + 2). The seeds come
// out in the AVX2 kernel's order; sets that screen by flips too go to it.
#include "orbit_walk.hpp"

#ifdef GEN_HAVE_AVX2

#include <algorithm>

// GCC 12's AVX-512 intrinsics start their results from an undefined
// vector, which its flow analysis takes for a read of one.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace gen {

namespace {

using rand_model::words;
constexpr int lanes = orbit_lanes;

#define GEN_AVX512 __attribute__((target("avx512f")))

// Which of sixteen lanes' first draws (each below 2^31) are in the set:
// as avx2_round_test, with unsigned compares, the number of counts tried
// as divisibility tests fixed (Tests), or 0 where they are looked up.
template <int Tests>
struct avx512_round_test {
    const int *member;
    __m512i inv, limit, offset[4];

    GEN_AVX512 explicit avx512_round_test(const round_set &set)
        : member(reinterpret_cast<const int *>(set.member))
    {
        const uint32_t inverse = inverse_of_4011();
        inv = _mm512_set1_epi32(static_cast<int>(inverse));
        limit = _mm512_set1_epi32(static_cast<int>(0xFFFFFFFFu / 4011));
        for (int i = 0; i < Tests; ++i)
            offset[i] = _mm512_set1_epi32(static_cast<int>(static_cast<uint32_t>(4011 - set.listed[i]) * inverse));
    }

    GEN_AVX512 static __m512i mod_4011(__m512i o)
    {
        const __m512i magic = _mm512_set1_epi32(static_cast<int>(2192992527u));
        __m512i qe = _mm512_srli_epi64(_mm512_mul_epu32(o, magic), 43);
        __m512i qo = _mm512_srli_epi64(_mm512_mul_epu32(_mm512_srli_epi64(o, 32), magic), 43);
        __m512i q = _mm512_mask_blend_epi32(0xAAAA, qe, _mm512_slli_epi64(qo, 32));
        return _mm512_sub_epi32(o, _mm512_mullo_epi32(q, _mm512_set1_epi32(4011)));
    }

    GEN_AVX512 __mmask16 mask(__m512i o) const
    {
        if (Tests == 0) {
            __m512i in = _mm512_i32gather_epi32(mod_4011(o), member, 4);
            return _mm512_test_epi32_mask(in, in);
        }
        __m512i m = _mm512_mullo_epi32(o, inv);
        __mmask16 hit = 0;
        for (int i = 0; i < Tests; ++i)
            hit |= _mm512_cmple_epu32_mask(_mm512_add_epi32(m, offset[i]), limit);
        return hit;
    }
};

// A form's additions to the first draw's sum beyond the taps' (as
// avx2_adds), and its tests.
struct avx512_form {
    const orbit_form *form;
    __m512i both, up;
    bool any;
    std::vector<uint32_t> *out;
};

// A buffer of pairs: row m holds words m and m + 1 of the eight stretches,
// aligned, so that no load splits a cache line.
using pair_row = __m512i;  // 64-byte aligned, as a local

// Eight windows a step, n to n + 7, as four sums of two: each row of
// words is loaded once for the four taps that take it, and most of the
// taps stay in registers. Rows n .. n + 36.
GEN_AVX512 inline void eight_sums(const __m512i *c, __m512i add, const pair_row *x, int n, __m512i *y)
{
    for (int i = 0; i < 4; ++i)
        y[i] = add;
#pragma GCC unroll 40
    for (int r = 0; r < words + 6; ++r) {
        const __m512i w = x[n + r];
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i) {
            int t = r - 2 * i;
            if (t >= 0 && t < words)
                y[i] = _mm512_add_epi32(y[i], _mm512_mullo_epi32(c[t], w));
        }
    }
}

// Windows n and n + 1 alone, from rows n .. n + 30: a stretch's last ones.
GEN_AVX512 inline __m512i two_sums(const __m512i *c, __m512i add, const pair_row *x, int n)
{
    __m512i y = add;
    for (int t = 0; t < words; ++t)
        y = _mm512_add_epi32(y, _mm512_mullo_epi32(c[t], x[n + t]));
    return y;
}

// The seeds of windows n to n + 2 count - 1 whose first draws pass, form
// by form, as the AVX2 kernel gives them: window n's first seeds by lane,
// then its second ones, then window n + 1's, and so on. y[i] holds the
// sums of windows n + 2i and n + 2i + 1; x row n + 2i their seeds.
template <class Test>
GEN_AVX512 inline void report(const avx512_form *forms, int nforms, const Test &test, const __m512i *y, int count,
                              const pair_row *x)
{
    for (int f = 0; f < nforms; ++f) {
        const avx512_form &form = forms[f];
        __mmask16 lower[4], upper[4], any = 0;
        for (int i = 0; i < count; ++i) {
            __m512i acc = form.any ? _mm512_add_epi32(y[i], form.both) : y[i];
            lower[i] = test.mask(_mm512_srli_epi32(acc, 1));
            upper[i] = test.mask(_mm512_srli_epi32(_mm512_add_epi32(acc, form.up), 1));
            any = static_cast<__mmask16>(any | lower[i] | upper[i]);
        }
        if (any == 0)
            continue;
        for (int i = 0; i < count; ++i) {
            const auto *seeds = reinterpret_cast<const uint32_t *>(x + 2 * i);
            push_lanes(lower[i] & 0xFF, seeds, form.form->lower_add, *form.out);
            push_lanes(upper[i] & 0xFF, seeds, form.form->up_add, *form.out);
            push_lanes(lower[i] >> 8, seeds + lanes, form.form->lower_add, *form.out);
            push_lanes(upper[i] >> 8, seeds + lanes, form.form->up_add, *form.out);
        }
    }
}

// Rows 0 .. 36 for the stretches from window first, stretch apart.
void start_lanes(uint64_t first, uint64_t stretch, pair_row *x)
{
    auto *xw = reinterpret_cast<uint32_t(*)[2][lanes]>(x);
    for (int l = 0; l < lanes; ++l) {
        uint32_t w[words + 7];
        orbit_window(first + static_cast<uint64_t>(l) * stretch, w, words + 7);
        for (int m = 0; m < words + 6; ++m)
            for (int h = 0; h < 2; ++h)
                xw[m][h][l] = w[m + h];
    }
}

// x * a mod (2^31 - 1) in sixteen lanes (x and a below 2^31): the 62-bit
// products folded to 32 bits, then once more, as 2^31 = 1.
GEN_AVX512 inline __m512i mul_mod_p(__m512i x, __m512i a)
{
    const __m512i p = _mm512_set1_epi32(static_cast<int>(rand_model::modulus));
    __m512i even = _mm512_mul_epu32(x, a), odd = _mm512_mul_epu32(_mm512_srli_epi64(x, 32), a);
    even = _mm512_add_epi64(_mm512_and_si512(even, p), _mm512_srli_epi64(even, 31));
    odd = _mm512_add_epi64(_mm512_and_si512(odd, p), _mm512_srli_epi64(odd, 31));
    __m512i r = _mm512_mask_blend_epi32(0xAAAA, even, _mm512_slli_epi64(odd, 32));
    r = _mm512_add_epi32(_mm512_and_si512(r, p), _mm512_srli_epi32(r, 31));
    return _mm512_min_epu32(r, _mm512_sub_epi32(r, p));
}

// Makes rows n + 37 .. n + 36 + count (n and count even): every other row
// is 16807^8 times the row 8 before it, so that none waits on the one
// before, and the rows between are halves of their neighbours.
GEN_AVX512 inline void slide(pair_row *x, int n, int count, __m512i g8)
{
    for (int m = n + words + 7; m <= n + words + 5 + count; m += 2) {
        x[m] = mul_mod_p(x[m - 8], g8);
        x[m - 1] = _mm512_shuffle_i64x2(x[m - 2], x[m], 0x4E);
    }
}

template <int Tests>
GEN_AVX512 void avx512_orbit_run(const walk_out &walk, uint64_t first, uint64_t count, const round_set &set)
{
    constexpr int run = 256, rows = words + 6;
    const uint64_t stretch = orbit_stretch(count);
    if (stretch > 0) {
        pair_row x[rows + run];
        start_lanes(first, stretch, x);
        const uint32_t *coeff = rand_model::draw_coefficients(0);
        __m512i c[words];
        for (int t = 0; t < words; ++t)
            c[t] = _mm512_set1_epi32(static_cast<int>(coeff[t]));
        const __m512i add = _mm512_set1_epi32(static_cast<int>(walk.forms[0].sum_add[0]));
        const __m512i g8 = _mm512_set1_epi64(rand_model::orbit_value(8));
        avx512_form forms[most_forms];
        for (int i = 0; i < walk.count; ++i) {
            uint32_t more = walk.forms[i].sum_add[0] - walk.forms[0].sum_add[0];
            forms[i] = {&walk.forms[i], _mm512_set1_epi32(static_cast<int>(more)),
                        _mm512_set1_epi32(static_cast<int>(walk.forms[i].up_delta[0])), more != 0, &walk.out[i]};
        }
        const avx512_round_test<Tests> test(set);
        for (uint64_t n0 = 0; n0 < stretch; n0 += run) {
            int steps = static_cast<int>(std::min<uint64_t>(run, stretch - n0)), n = 0;
            __m512i y[4];
            for (; n + 8 <= steps; n += 8) {
                eight_sums(c, add, x, n, y);
                slide(x, n, 8, g8);
                report(forms, walk.count, test, y, 4, x + n);
            }
            for (; n < steps; n += 2) {  // the stretch's last windows
                y[0] = two_sums(c, add, x, n);
                report(forms, walk.count, test, y, 1, x + n);
                slide(x, n, 2, g8);
            }
            if (steps == run)
                std::copy(x + run, x + run + rows, x);
        }
    }
    orbit_in_turn(walk, first + lanes * stretch, count - lanes * stretch, set);
}

} // namespace

void avx512_orbit(const orbit_form *forms, int nforms, uint64_t first, uint64_t count, const round_set &set,
                  std::vector<uint32_t> *out)
{
    if (set.flips > 0) {
        avx2_orbit(forms, nforms, first, count, set, out);
        return;
    }
    static constexpr void (*runs[])(const walk_out &, uint64_t, uint64_t, const round_set &) = {
        avx512_orbit_run<0>, avx512_orbit_run<1>, avx512_orbit_run<2>, avx512_orbit_run<3>, avx512_orbit_run<4>};
    runs[set.count > 4 ? 0 : set.count](walk_out{forms, nforms, out}, first, count, set);
}

} // namespace gen

#endif
