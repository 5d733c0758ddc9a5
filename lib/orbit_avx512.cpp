// The orbit walk in AVX-512: the AVX2 kernel's eight stretches, with two
// windows in each vector (lanes 0 to 7 window n of each stretch, lanes 8
// to 15 window n + 1), so that row m of the buffer holds words m and m + 1
// of every stretch. Eight windows a step, as four vectors of sums: each row
// is loaded once for the four taps that take it. New rows are made from
// the row eight back, so that none waits on the one before. The seeds come
// out in the AVX2 kernel's order.
#include "orbit_walk.hpp"
#include "round_test_avx512.hpp"

#ifdef GEN_HAVE_AVX2

#include <algorithm>

namespace gen {

namespace {

using rand_model::words;
constexpr int lanes = orbit_lanes;

// A form as the kernel takes it: what its sums add beyond the taps', for
// both seeds of a window and for the second, for draws 0 to the dense
// flips.
struct avx512_form {
    const orbit_form *form;
    __m512i both[round_set::vector_flips + 1], up[round_set::vector_flips + 1];
    bool any;  // whether both[0] is not zero
    std::vector<uint32_t> *out;
};

// A buffer of pairs: row m holds words m and m + 1 of the eight stretches,
// aligned, so that no load splits a cache line.
using pair_row = __m512i;  // 64-byte aligned, as a local

// One draw's taps: its coefficients, and the sum_add of the walk's first
// form.
struct avx512_taps {
    __m512i c[words], add;
};

// Windows n to n + 7 as four vectors of sums: y[i] holds windows n + 2i and
// n + 2i + 1. Most of the taps stay in registers. Rows n .. n + 36.
GEN_AVX512 inline void eight_sums(const avx512_taps &k, const pair_row *x, int n, __m512i *y)
{
    for (int i = 0; i < 4; ++i)
        y[i] = k.add;
#pragma GCC unroll 40
    for (int r = 0; r < words + 6; ++r) {
        const __m512i w = x[n + r];
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i) {
            int t = r - 2 * i;
            if (t >= 0 && t < words)
                y[i] = _mm512_add_epi32(y[i], _mm512_mullo_epi32(k.c[t], w));
        }
    }
}

// Windows n and n + 1 alone, from rows n .. n + 30: a stretch's last ones.
GEN_AVX512 inline void two_sums(const avx512_taps &k, const pair_row *x, int n, __m512i *y)
{
    y[0] = k.add;
#pragma GCC unroll 31
    for (int t = 0; t < words; ++t)
        y[0] = _mm512_add_epi32(y[0], _mm512_mullo_epi32(k.c[t], x[n + t]));
}

// The sums of draw k at a step, for the screens: of eight windows, or of
// a stretch's last two; or of vector i's two windows alone.
template <bool Eight>
struct step_sums {
    const avx512_taps *taps;
    const pair_row *x;
    int n;

    GEN_AVX512 void operator()(int k, __m512i *y) const
    {
        if (Eight)
            eight_sums(taps[k], x, n, y);
        else
            two_sums(taps[k], x, n, y);
    }
    GEN_AVX512 __m512i one(int k, int i) const
    {
        __m512i y;
        two_sums(taps[k], x, n + 2 * i, &y);
        return y;
    }
};

// Where the pairs are a power of two P up to 64, the pair a flip names is
// bits 2 to 1 + log2 P of its sum, which the sum modulo 2^8 holds: the low
// bytes of the words and of the taps make it, four taps to an instruction
// with VNNI. Row m of the byte buffer holds the low bytes of rows m to
// m + 3 of the words in each lane.
#define GEN_AVX512_VNNI __attribute__((target("avx512f,avx512vnni")))

// One draw's taps as bytes: c[j] those of taps 4j to 4j + 3 for j below 7,
// and c[7] those of taps 28 to 30 a byte up (with rows 27 to 30, as row 30
// is the last of a window); add the form's sum_add.
struct byte_taps {
    __m512i c[8], add;
};

GEN_AVX512 byte_taps make_byte_taps(int k, uint32_t add)
{
    const uint32_t *c = rand_model::draw_coefficients(k);
    auto bytes = [](uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3) {
        return static_cast<int>((b0 & 0xFF) | (b1 & 0xFF) << 8 | (b2 & 0xFF) << 16 | b3 << 24);
    };
    byte_taps b;
    for (int j = 0; j < 7; ++j)
        b.c[j] = _mm512_set1_epi32(bytes(c[4 * j], c[4 * j + 1], c[4 * j + 2], c[4 * j + 3]));
    b.c[7] = _mm512_set1_epi32(bytes(0, c[28], c[29], c[30]));
    b.add = _mm512_set1_epi32(static_cast<int>(add));
    return b;
}

// The sums modulo 2^8 of the windows of vectors rows n, n + 2, ... (count
// of them), into y: byte rows n .. n + 2 (count - 1) + 27.
GEN_AVX512_VNNI void byte_sums(const byte_taps &k, const pair_row *q, int n, int count, __m512i *y)
{
    for (int i = 0; i < count; ++i) {
        // Four sums of two, as each waits some cycles on the one before.
        const pair_row *r = q + n + 2 * i;
        __m512i acc[4] = {k.add, _mm512_setzero_si512(), _mm512_setzero_si512(), _mm512_setzero_si512()};
#pragma GCC unroll 8
        for (int j = 0; j < 8; ++j)
            acc[j % 4] = _mm512_dpbusd_epi32(acc[j % 4], r[j < 7 ? 4 * j : 27], k.c[j]);
        y[i] = _mm512_add_epi32(_mm512_add_epi32(acc[0], acc[1]), _mm512_add_epi32(acc[2], acc[3]));
    }
}

// step_sums for the later draws of such a set: draw 0 in full, the rest
// modulo 2^8.
template <bool Eight>
struct byte_step_sums {
    step_sums<Eight> full;
    const byte_taps *taps;
    const pair_row *q;

    GEN_AVX512 void operator()(int k, __m512i *y) const
    {
        if (k == 0)
            full(0, y);
        else
            byte_sums(taps[k], q, full.n, Eight ? 4 : 1, y);
    }
    GEN_AVX512 __m512i one(int k, int i) const
    {
        if (k == 0)
            return full.one(0, i);
        __m512i y;
        byte_sums(taps[k], q, full.n + 2 * i, 1, &y);
        return y;
    }
};

// Whether a set's flips are named by sums modulo 2^8 (byte_sums).
bool byte_sums_name(const round_set &set)
{
    const int pairs = set.numbers / 2;
    return set.flips > 0 && set.numbers % 2 == 0 && pairs <= 64 && (pairs & (pairs - 1)) == 0;
}

// Byte rows from .. to - 1, from rows from .. to + 2.
GEN_AVX512 inline void make_byte_rows(const pair_row *x, pair_row *q, int from, int to)
{
    const __m512i low = _mm512_set1_epi32(0xFF);
    for (int m = from; m < to; ++m)
        q[m] = _mm512_or_si512(
            _mm512_or_si512(_mm512_and_si512(x[m], low), _mm512_slli_epi32(_mm512_and_si512(x[m + 1], low), 8)),
            _mm512_or_si512(_mm512_slli_epi32(_mm512_and_si512(x[m + 2], low), 16), _mm512_slli_epi32(x[m + 3], 24)));
}

// Pushes the seeds of windows n to n + 2 vectors - 1 that pass, in the AVX2
// kernel's order: window n's first seeds by lane, then its second ones,
// then window n + 1's, and so on. x: row n.
GEN_AVX512 inline void push_seeds(const avx512_form &form, const __mmask16 *lower, const __mmask16 *upper,
                                  int vectors, const pair_row *x)
{
    for (int i = 0; i < vectors; ++i) {
        const auto *seeds = reinterpret_cast<const uint32_t *>(x + 2 * i);
        push_lanes(lower[i] & 0xFF, seeds, form.form->lower_add, *form.out);
        push_lanes(upper[i] & 0xFF, seeds, form.form->up_add, *form.out);
        push_lanes(lower[i] >> 8, seeds + lanes, form.form->lower_add, *form.out);
        push_lanes(upper[i] >> 8, seeds + lanes, form.form->up_add, *form.out);
    }
}

// A set screened by the first draw alone.
template <int Tests>
struct first_draw_screen {
    avx512_round_test<Tests> test;

    GEN_AVX512 explicit first_draw_screen(const round_set &set) : test(set) {}

    template <int nforms, int vectors, class Sums>
    GEN_AVX512 void screen(const avx512_form *forms, Sums sums, const pair_row *x) const
    {
        __m512i y[4];
        sums(0, y);
        for (int f = 0; f < nforms; ++f) {
            const avx512_form &form = forms[f];
            __mmask16 lower[4], upper[4], any = 0;
            for (int i = 0; i < vectors; ++i) {
                __m512i acc = form.any ? _mm512_add_epi32(y[i], form.both[0]) : y[i];
                lower[i] = test.mask(_mm512_srli_epi32(acc, 1));
                upper[i] = test.mask(_mm512_srli_epi32(_mm512_add_epi32(acc, form.up[0]), 1));
                any = static_cast<__mmask16>(any | lower[i] | upper[i]);
            }
            if (any)
                push_seeds(form, lower, upper, vectors, x);
        }
    }
};

// A set screened by its flips too: the sums of a later draw are made only
// for the vectors where some lane still passes, up to the set's dense
// flips; the seeds that pass those are tested one by one for the rest.
struct flip_screen {
    const round_set &set;
    avx512_flip_test test;

    GEN_AVX512 explicit flip_screen(const round_set &s) : set(s), test(s) {}

    template <int nforms, int vectors, class Sums>
    GEN_AVX512 void screen(const avx512_form *forms, Sums sums, const pair_row *x) const
    {
        __m512i y[4], r[most_forms][2][4], p[most_forms][2][4];
        __mmask16 alive[most_forms][2][4];
        int any = 0;
        sums(0, y);
        for (int f = 0; f < nforms; ++f)
            for (int side = 0; side < 2; ++side)
                for (int i = 0; i < vectors; ++i) {
                    alive[f][side][i] = test.first(_mm512_srli_epi32(sum(forms, f, side, 0, y[i]), 1),
                                                   r[f][side][i], p[f][side][i]);
                    any |= alive[f][side][i];
                }
        for (int k = 1; k <= set.dense && any; ++k) {
            unsigned live = 0;
            for (int i = 0; i < vectors; ++i) {
                unsigned a = 0;
                for (int f = 0; f < nforms; ++f)
                    a |= alive[f][0][i] | alive[f][1][i];
                live |= static_cast<unsigned>(a != 0) << i;
            }
            if (live + 1 == 1u << vectors)
                sums(k, y);
            else
                for (unsigned m = live; m; m &= m - 1)
                    y[__builtin_ctz(m)] = sums.one(k, __builtin_ctz(m));
            any = 0;
            for (int f = 0; f < nforms; ++f)
                for (int side = 0; side < 2; ++side)
                    for (int i = 0; i < vectors; ++i) {
                        // Tested whether or not a lane passes: a vector's
                        // lanes die at no foreseeable flip.
                        alive[f][side][i] = test.flip(k - 1, alive[f][side][i], p[f][side][i],
                                                      _mm512_srli_epi32(sum(forms, f, side, k, y[i]), 1));
                        any |= alive[f][side][i];
                    }
        }
        if (any && set.flips > set.dense)
            for (int f = 0; f < nforms; ++f)
                for (int side = 0; side < 2; ++side)
                    for (int i = 0; i < vectors; ++i)
                        alive[f][side][i] = later_lanes(alive[f][side][i], *forms[f].form, side, r[f][side][i],
                                                        x + 2 * i);
        if (any)
            for (int f = 0; f < nforms; ++f)
                push_seeds(forms[f], alive[f][0], alive[f][1], vectors, x);
    }

    // Form f's sum of draw k for a window's first seeds (side 0) or its
    // second ones, from the taps' sum y; the first form's adds nothing.
    GEN_AVX512 static __m512i sum(const avx512_form *forms, int f, int side, int k, __m512i y)
    {
        if (f > 0)
            y = _mm512_add_epi32(y, forms[f].both[k]);
        return side ? _mm512_add_epi32(y, forms[f].up[k]) : y;
    }

    // Of the lanes alive, those whose seeds pass the later flips too: r
    // their round counts, x the first row of their windows' words.
    GEN_AVX512 __mmask16 later_lanes(__mmask16 alive, const orbit_form &form, bool twin, __m512i r,
                                     const pair_row *x) const
    {
        if (!alive)
            return alive;
        alignas(64) uint32_t R[16];
        _mm512_store_si512(R, r);
        return static_cast<__mmask16>(orbit_later_lanes(alive, set, set.dense, form, twin, R,
                                                        reinterpret_cast<const uint32_t *>(x), 16));
    }
};

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

// Makes rows n + 37 .. n + 36 + count (n and count even): every other row
// is 16807^8 times the row 8 before it, and the rows between are halves of
// their neighbours.
GEN_AVX512 inline void slide(pair_row *x, int n, int count, __m512i g8)
{
    for (int m = n + words + 7; m <= n + words + 5 + count; m += 2) {
        x[m] = mul_mod_p16(x[m - 8], g8);
        x[m - 1] = _mm512_shuffle_i64x2(x[m - 2], x[m], 0x4E);
    }
}

// One step of the walk: screens the windows of the vectors at row n, then
// makes the rows after them.
template <bool Bytes, int NForms, int Vectors, class Screen>
GEN_AVX512 inline void walk_step(const Screen &screen, const avx512_form *forms, const avx512_taps *taps,
                                 const byte_taps *btaps, pair_row *x, pair_row *q, int n, __m512i g8)
{
    constexpr bool eight = Vectors == 4;
    const step_sums<eight> sums{taps, x, n};
    if constexpr (Bytes)
        screen.template screen<NForms, Vectors>(forms, byte_step_sums<eight>{sums, btaps, q}, x + n);
    else
        screen.template screen<NForms, Vectors>(forms, sums, x + n);
    slide(x, n, 2 * Vectors, g8);
    if constexpr (Bytes)
        make_byte_rows(x, q, n + words + 3, n + words + 3 + 2 * Vectors);
}

// The walk, with Screen one of the screens above, of NForms forms; with
// Bytes, the later draws' sums modulo 2^8 (byte_sums_name).
template <class Screen, int NForms, bool Bytes = false>
GEN_AVX512 void avx512_orbit_run(const walk_out &walk, uint64_t first, uint64_t count, const round_set &set)
{
    constexpr int run = 256, rows = words + 6;
    const uint64_t stretch = orbit_stretch(count);
    if (stretch > 0) {
        pair_row x[rows + run];
        start_lanes(first, stretch, x);
        const orbit_form &base = walk.forms[0];
        avx512_taps taps[round_set::vector_flips + 1];
        for (int k = 0; k <= set.dense; ++k) {
            const uint32_t *c = rand_model::draw_coefficients(k);
            for (int t = 0; t < words; ++t)
                taps[k].c[t] = _mm512_set1_epi32(static_cast<int>(c[t]));
            taps[k].add = _mm512_set1_epi32(static_cast<int>(base.sum_add[k]));
        }
        // With Bytes: the byte rows, from rows 0 .. 3 on, and the taps.
        pair_row q[Bytes ? rows + run : 1];
        byte_taps btaps[Bytes ? round_set::vector_flips + 1 : 1];
        if constexpr (Bytes) {
            make_byte_rows(x, q, 0, rows - 3);
            for (int k = 1; k <= set.dense; ++k)
                btaps[k] = make_byte_taps(k, base.sum_add[k]);
        }
        avx512_form forms[most_forms];
        for (int f = 0; f < walk.count; ++f) {
            const orbit_form &form = walk.forms[f];
            forms[f].form = &form;
            forms[f].out = &walk.out[f];
            forms[f].any = form.sum_add[0] != base.sum_add[0];
            for (int k = 0; k <= round_set::vector_flips; ++k) {
                forms[f].both[k] = _mm512_set1_epi32(static_cast<int>(form.sum_add[k] - base.sum_add[k]));
                forms[f].up[k] = _mm512_set1_epi32(static_cast<int>(form.up_delta[k]));
            }
        }
        const Screen screen(set);
        const __m512i g8 = _mm512_set1_epi64(rand_model::orbit_value(8));
        for (uint64_t n0 = 0; n0 < stretch; n0 += run) {
            int steps = static_cast<int>(std::min<uint64_t>(run, stretch - n0)), n = 0;
            for (; n + 8 <= steps; n += 8)
                walk_step<Bytes, NForms, 4>(screen, forms, taps, btaps, x, q, n, g8);
            for (; n < steps; n += 2)  // the stretch's last windows
                walk_step<Bytes, NForms, 1>(screen, forms, taps, btaps, x, q, n, g8);
            if (steps == run) {
                std::copy(x + run, x + run + rows, x);
                if constexpr (Bytes)
                    std::copy(q + run, q + run + rows - 3, q);
            }
        }
    }
    orbit_in_turn(walk, first + lanes * stretch, count - lanes * stretch, set);
}

} // namespace

void avx512_orbit(const orbit_form *forms, int nforms, uint64_t first, uint64_t count, const round_set &set,
                  std::vector<uint32_t> *out)
{
    using run = void (*)(const walk_out &, uint64_t, uint64_t, const round_set &);
    // By the number of forms, less one.
    static constexpr run flips[] = {avx512_orbit_run<flip_screen, 1>, avx512_orbit_run<flip_screen, 2>};
    static constexpr run by_tests[][most_forms] = {
        {avx512_orbit_run<first_draw_screen<0>, 1>, avx512_orbit_run<first_draw_screen<0>, 2>},
        {avx512_orbit_run<first_draw_screen<1>, 1>, avx512_orbit_run<first_draw_screen<1>, 2>},
        {avx512_orbit_run<first_draw_screen<2>, 1>, avx512_orbit_run<first_draw_screen<2>, 2>},
        {avx512_orbit_run<first_draw_screen<3>, 1>, avx512_orbit_run<first_draw_screen<3>, 2>},
        {avx512_orbit_run<first_draw_screen<4>, 1>, avx512_orbit_run<first_draw_screen<4>, 2>}};
    static_assert(most_forms == 2);
    const int f = nforms - 1;
    run walk = set.flips > 0 ? flips[f] : by_tests[set.count > 4 ? 0 : set.count][f];
    walk(walk_out{forms, nforms, out}, first, count, set);
}

void avx512_vnni_orbit(const orbit_form *forms, int nforms, uint64_t first, uint64_t count, const round_set &set,
                       std::vector<uint32_t> *out)
{
    if (!byte_sums_name(set)) {
        avx512_orbit(forms, nforms, first, count, set, out);
        return;
    }
    auto walk = nforms == 1 ? avx512_orbit_run<flip_screen, 1, true> : avx512_orbit_run<flip_screen, 2, true>;
    walk(walk_out{forms, nforms, out}, first, count, set);
}

} // namespace gen

#endif
